#pragma once
#include <QDialog>

// The About box: product, icon, version, contact and the licence notices of
// the libraries the program is linked with.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

// The "File Version:" text shared by the main window and the About box.
QString FileVersionText();

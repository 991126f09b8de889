#pragma once
#include <QColor>
#include <QGroupBox>
#include <QWidget>

class TApdSLController;
class TApdStatusLight;
class TApdWinsockPort;

// A small round light: bright in its colour when lit, dark when out.
class StatusLamp : public QWidget {
    Q_OBJECT
public:
    StatusLamp(const QColor& color, QWidget* parent = nullptr);
    bool Lit() const { return lit_; }
    void SetLit(bool lit);
    QSize sizeHint() const override { return QSize(14, 14); }

signals:
    void LitChanged(bool lit);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
    bool lit_ = false;
};

// The eight lamps of one port under their captions, driven by the port's
// status-light controller. Watching starts whenever the port opens.
class StatusLampGroup : public QGroupBox {
    Q_OBJECT
public:
    StatusLampGroup(const QString& title, QWidget* parent = nullptr);
    void Watch(TApdWinsockPort& port);
    // Lamps by caption ("BRK", "CTS", ... "TXD").
    StatusLamp* Lamp(const QString& caption) const;

private:
    void Follow(const QString& caption, TApdStatusLight& light);

    TApdSLController* lights_;
};

#pragma once
#include "app/options/options_checks.h"
#include "app/options/options_values.h"

#include <QDialog>
#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

// The Options dialog: every setting on five pages. It loads the settings
// into its controls, runs the checks when OK is pressed (one failure at a
// time, with its page and control), and on success writes all of them.
// Controls carry the object names the checks use for focus.
class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit OptionsDialog(QWidget* parent = nullptr);
    ~OptionsDialog() override;

    // Loads, shows modally; true when OK saved the settings.
    bool Execute();
    void Load();
    // What the controls hold now.
    OptionsValues Values() const;
    void OKButtonClick();

    QTabWidget* Pages() const { return pages_; }
    // The error box and the folder question; tests record them instead.
    std::function<void(const std::string&)> showError;
    void SetFolderQuestion(FolderQuestion& question) { question_ = &question; }

private:
    QWidget* TuqConnectionPage();
    QWidget* NetworkPage();
    QWidget* SecurityPage();
    QWidget* DataSourcePage();
    QWidget* ClaimFilesGroup();
    QWidget* SerialPortGroup();
    QWidget* SocketPortGroup();
    QWidget* LogPage();
    void Show(const OptionsValues& values);
    void ShowDialUp(const OptionsValues& values);
    void ShowSerialPort(const OptionsValues& values);
    void ReadDialUp(OptionsValues& values) const;
    void ReadSerialPort(OptionsValues& values) const;
    void UpdateRules();
    void SelectEntry();
    void SelectModem();
    void ConfigureModem();
    void PickFile(QLineEdit* edit, const QString& title, const QString& filter);
    void PickFolder(QLineEdit* edit);
    void PickClaimMask();
    void Fail(const OptionsFailure& failure);

    OptionsValues loaded_;  // what no control holds: the modem block, lists
    std::unique_ptr<FolderQuestion> boxQuestion_;
    FolderQuestion* question_ = nullptr;
    QTabWidget* pages_ = nullptr;

    QCheckBox* hostBox_[3]{};
    QLineEdit* hostEdit_[3]{};
    QLineEdit* portAEdit_[3]{};
    QLineEdit* portBEdit_[3]{};
    QCheckBox* modemBox_ = nullptr;
    QLineEdit* modemNameEdit_ = nullptr;
    QLineEdit* phoneEdit_ = nullptr;
    QCheckBox* statusPanelBox_ = nullptr;
    QLineEdit* tapiReplyTimeoutEdit_ = nullptr;
    QLineEdit* tapiRetriesEdit_ = nullptr;
    QLineEdit* tapiRetryDelayEdit_ = nullptr;

    QRadioButton* lanRadio_ = nullptr;
    QRadioButton* dialUpRadio_ = nullptr;
    QButtonGroup* connectionGroup_ = nullptr;
    QComboBox* entryCombo_ = nullptr;
    QCheckBox* connectOnStartupBox_ = nullptr;
    QLineEdit* dialUserEdit_ = nullptr;
    QLineEdit* dialPasswordEdit_ = nullptr;
    QLineEdit* dialPhoneEdit_ = nullptr;
    QLineEdit* dialDomainEdit_ = nullptr;
    QCheckBox* persistentBox_ = nullptr;
    QLineEdit* connectTimeoutEdit_ = nullptr;
    QLineEdit* writeTimeoutEdit_ = nullptr;
    QLineEdit* overallTimeoutEdit_ = nullptr;

    QCheckBox* twofishBox_ = nullptr;
    QCheckBox* sslBox_ = nullptr;
    QLineEdit* certificateEdit_ = nullptr;
    QLineEdit* caEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QCheckBox* maskPasswordBox_ = nullptr;

    QButtonGroup* sourceGroup_ = nullptr;
    QRadioButton* claimRadio_ = nullptr;
    QRadioButton* serialRadio_ = nullptr;
    QRadioButton* socketRadio_ = nullptr;
    QLineEdit* maskEdit_ = nullptr;
    QLineEdit* claimRetriesEdit_ = nullptr;
    QLineEdit* claimRetryDelayEdit_ = nullptr;
    QCheckBox* trimBox_ = nullptr;
    QLineEdit* responseExtEdit_ = nullptr;
    QLineEdit* responseFolderEdit_ = nullptr;
    QLineEdit* archiveFolderEdit_ = nullptr;
    QCheckBox* archiveTimestampBox_ = nullptr;
    QComboBox* comPortCombo_ = nullptr;
    QComboBox* baudCombo_ = nullptr;
    QComboBox* parityCombo_ = nullptr;
    QButtonGroup* dataBitsGroup_ = nullptr;
    QButtonGroup* stopBitsGroup_ = nullptr;
    QCheckBox* dtrDsrBox_ = nullptr;
    QCheckBox* rtsCtsBox_ = nullptr;
    QCheckBox* softwareTransmitBox_ = nullptr;
    QCheckBox* softwareReceiveBox_ = nullptr;
    QLineEdit* xonEdit_ = nullptr;
    QLineEdit* xoffEdit_ = nullptr;
    QCheckBox* visa2Box_ = nullptr;
    QCheckBox* lrcBox_ = nullptr;
    QCheckBox* enqPauseBox_ = nullptr;
    QLineEdit* enqPauseEdit_ = nullptr;
    QCheckBox* closePortBox_ = nullptr;
    QLineEdit* spClientRetriesEdit_ = nullptr;
    QLineEdit* inHostEdit_ = nullptr;
    QLineEdit* inPortEdit_ = nullptr;
    QLineEdit* idleTimeoutEdit_ = nullptr;
    QComboBox* formatCombo_ = nullptr;

    QLineEdit* debugFileEdit_ = nullptr;
    QCheckBox* debugBox_ = nullptr;
    QCheckBox* serialDebugBox_ = nullptr;
    QLineEdit* netDebugFileEdit_ = nullptr;
    QCheckBox* netDebugBox_ = nullptr;
    QLineEdit* systemIdEdit_ = nullptr;
    QComboBox* pharmacyCombo_ = nullptr;
};

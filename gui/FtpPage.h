#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tavrin {

struct TSettingsRecord;

// The configuration dialog's "FTP" tab: the FTP account on the web server.
class TFtpPage final : public QWidget {
    Q_OBJECT
public:
    explicit TFtpPage(QWidget* parent = nullptr);

    void Load(const TSettingsRecord& settings);
    void Store(TSettingsRecord& settings) const;

private:
    QLineEdit* FTPServer = nullptr;
    QLineEdit* FTPUserName = nullptr;
    QLineEdit* FTPPassword = nullptr;
    QLineEdit* FTPInitialDirectory = nullptr;
    QCheckBox* FTPPassiveMode = nullptr;
    QCheckBox* FTPUseKeepAlives = nullptr;
    QComboBox* FTPSecurity = nullptr;
    QLineEdit* FTPServerFingerprint = nullptr;
};

}  // namespace tavrin

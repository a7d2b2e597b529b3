#pragma once

#include "base/settings/SettingsRecord.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tavrin {

// The configuration dialog's "FTP" tab: the FTP account on the web server.
class TFtpPage final : public QWidget {
    Q_OBJECT
public:
    explicit TFtpPage(QWidget* parent = nullptr);

    // Load keeps the record: Test connection tries the page's fields with its other settings.
    void Load(const TSettingsRecord& settings);
    void Store(TSettingsRecord& settings) const;

private:
    TSettingsRecord Loaded;
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

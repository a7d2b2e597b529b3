#pragma once

#include "base/settings/SettingsRecord.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tavrin {

// The configuration dialog's "EMail" tab: the mail server with its login,
// and the sender, reply and copy addresses of the notification.
class TEmailPage final : public QWidget {
    Q_OBJECT
public:
    explicit TEmailPage(QWidget* parent = nullptr);

    // Load keeps the record: Test connection tries the page's fields with its other settings.
    void Load(const TSettingsRecord& settings);
    void Store(TSettingsRecord& settings) const;

    // The login fields are usable exactly while authentication is ticked;
    // their texts stay when they are not.
    void ApplyAuthenticationRule();

private:
    void AddServerGroup();
    void AddMessageGroup();

    TSettingsRecord Loaded;
    QLineEdit* SMTPHost = nullptr;
    QLineEdit* SMTPPort = nullptr;
    QCheckBox* AuthenticationRequired = nullptr;
    QLineEdit* SMTPUsername = nullptr;
    QLineEdit* SMTPPassword = nullptr;
    QComboBox* SMTPSecurity = nullptr;
    QLineEdit* SMTPServerFingerprint = nullptr;
    QLineEdit* FromEmailName = nullptr;
    QLineEdit* FromEmail = nullptr;
    QLineEdit* ReplyEmailName = nullptr;
    QLineEdit* ReplyEmail = nullptr;
    QLineEdit* CCName = nullptr;
    QLineEdit* CC = nullptr;
};

}  // namespace tavrin

#pragma once

#include "base/settings/SettingsRecord.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace tavrin {

// The configuration dialog's "EMail" tab: the mail server with its login,
// the sender, reply and copy addresses of the notification, the shop's own
// lines in it and the days before a due date that a reminder goes.
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
    void AddTextGroup();

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
    QPlainTextEdit* NotifyIntroduction = nullptr;
    QPlainTextEdit* NotifySignature = nullptr;
    QSpinBox* ReminderDays = nullptr;
};

}  // namespace tavrin

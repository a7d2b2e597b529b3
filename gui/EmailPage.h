#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tavrin {

struct TSettingsRecord;

// The configuration dialog's "EMail" tab: the mail server with its login,
// and the sender, reply and copy addresses of the notification.
class TEmailPage final : public QWidget {
    Q_OBJECT
public:
    explicit TEmailPage(QWidget* parent = nullptr);

    void Load(const TSettingsRecord& settings);
    void Store(TSettingsRecord& settings) const;

    // The login fields are usable exactly while authentication is ticked;
    // their texts stay when they are not.
    void ApplyAuthenticationRule();

private:
    void AddServerGroup();
    void AddMessageGroup();

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

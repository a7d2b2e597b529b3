#pragma once

#include <chrono>
#include <string>

namespace tavrin {

// The current settings: one field per key of the settings file, in the
// file's order, plus two fields that never reach the file. An empty text
// means "not configured".
struct TSettingsRecord {
    std::string InputFolder;
    std::string FTPServer;
    std::string FTPUserName;  // stored enciphered
    std::string FTPPassword;  // stored enciphered
    std::string FTPInitialDirectory;
    bool FTPPassiveMode = true;
    bool FTPUseKeepAlives = true;
    std::string SMTPHost;
    std::string SMTPPort = "25";
    bool AuthenticationRequired = false;
    std::string SMTPUsername;  // stored enciphered
    std::string SMTPPassword;  // stored enciphered
    std::string FromEmail;
    std::string FromEmailName;
    std::string ReplyEmail;
    std::string ReplyEmailName;
    std::string CC;
    std::string CCName;
    std::string WebRoot;
    std::string SourceColorProfile;
    std::string DestinationColorProfile;
    bool ShowHint = false;
    // How long a server may keep the station waiting before the task gives
    // up; longer for slow hosts. Whole seconds, always positive.
    std::chrono::seconds FTPReplyTimeout{60};   // a reply on the FTP control connection
    std::chrono::seconds FTPStallTimeout{60};   // an FTP data connection on which no byte moves
    std::chrono::seconds SMTPReplyTimeout{60};  // a mail server's reply (the end of a message waits longer)
    // How each session is protected (ConnectionSecurity.h reads the texts),
    // and the SHA-256 fingerprint of the certificate to trust; an empty
    // fingerprint leaves the decision to the system's certificate authorities.
    std::string FTPSecurity = "None";
    std::string FTPServerFingerprint;
    std::string SMTPSecurity = "None";
    std::string SMTPServerFingerprint;
    // The shop's own lines in the notification, plain text of any number of
    // lines: an introduction before the mail's text, a signature after it.
    std::string NotifyIntroduction;
    std::string NotifySignature;
    // How many days before a proof's due date its recipients are reminded
    // while it waits for their answer; 0 sends no reminders.
    int ReminderDays = 0;

    // Not in the file: lasts until the process ends.
    std::string ApprovalText = "approval.txt";
    // Set by the configuration check: the configured colour profiles were accepted.
    bool ProfilesValid = false;
};

// The main window's outer bounds in pixels; -1 keeps the design value.
struct TWindowBounds {
    static constexpr int DesignWidth = 1029;
    static constexpr int DesignHeight = 666;

    int Left = -1;
    int Top = -1;
    int Width = -1;
    int Height = -1;

    // These bounds with each -1 replaced by the design value; the position
    // stays -1, for the window system to choose.
    TWindowBounds OverDesign() const;
};

}  // namespace tavrin

#pragma once

#include "base/settings/SettingsRecord.h"

#include <QDialog>

class QTabWidget;

namespace tavrin {

class TApplicationPage;
class TEmailPage;
class TFtpPage;

// The configuration dialog (TConfigDlg): the settings on three tabs. OK
// normalises the texts and closes; what becomes of the edit is the caller's
// (KeepConfiguration, then the start-up operation). It is sized from its
// pages at the desktop's font, never smaller than its design size.
class TConfigDlg final : public QDialog {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 329;
    static constexpr int DesignHeight = 512;

    explicit TConfigDlg(QWidget* parent = nullptr);

    // Fills every field from the settings.
    void Load(const TSettingsRecord& settings);
    // The settings as the fields hold them now, over those last loaded.
    TSettingsRecord Settings() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Confirm();

    TSettingsRecord Loaded;
    QTabWidget* Pages = nullptr;
    TApplicationPage* ApplicationPage = nullptr;
    TFtpPage* FtpPage = nullptr;
    TEmailPage* EmailPage = nullptr;
};

}  // namespace tavrin

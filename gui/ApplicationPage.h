#pragma once

#include <QWidget>

class QLineEdit;

namespace tavrin {

struct TSettingsRecord;

// The configuration dialog's "Application" tab: the page buffer folder, the
// approval text file, the web site's base address and the colour profiles.
class TApplicationPage final : public QWidget {
    Q_OBJECT
public:
    explicit TApplicationPage(QWidget* parent = nullptr);

    void Load(const TSettingsRecord& settings);
    void Store(TSettingsRecord& settings) const;

private:
    void BrowseForFolder();
    void BrowseForProfile(QLineEdit* field, const QString& title);

    QLineEdit* InputFolderEdit = nullptr;
    QLineEdit* ApprovalText = nullptr;
    QLineEdit* WebRoot = nullptr;
    QLineEdit* SourceColorProfile = nullptr;
    QLineEdit* DestinationColorProfile = nullptr;
};

}  // namespace tavrin

#pragma once

#include <QDialog>

namespace tavrin {

// The about box (TAboutBox): the product's mark, name, version and maker.
// It is as large as its lines need at the desktop's font, and never smaller
// than its design size.
class TAboutBox final : public QDialog {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 321;
    static constexpr int DesignHeight = 261;

    explicit TAboutBox(QWidget* parent = nullptr);

    // The lines beside the mark, top to bottom.
    static QStringList Lines();

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace tavrin

#pragma once

#include <QDialog>

namespace tavrin {

// The about box (TAboutBox): the product's mark, name, version and maker.
class TAboutBox final : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // The lines drawn beside the mark, top to bottom.
    static QStringList Lines();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

}  // namespace tavrin

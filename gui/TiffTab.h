#pragma once

#include <QWidget>

namespace tavrin {

// The "Tiff" tab: a place held for TIFF input, which the station does not read yet.
class TTiffTab final : public QWidget {
    Q_OBJECT
public:
    explicit TTiffTab(QWidget* parent = nullptr);
};

}  // namespace tavrin

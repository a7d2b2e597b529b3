#pragma once

#include "station/JobPreview.h"

#include <QWidget>

#include <cstdint>
#include <optional>

class QComboBox;
class QLabel;

namespace tavrin {

// The "Preview" tab: the overview picture of one page of the selected job,
// the page chosen in the page list.
class TPreviewTab final : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewTab(TCatalogueConnection& catalogue, QWidget* parent = nullptr);

    // Draws the preview of the job (nothing is drawn without one). Catalogue
    // errors reach the caller.
    void DrawPreview(std::optional<std::int32_t> jobReference);

signals:
    void PageChanged();

private:
    TJobPreview Preview;
    QLabel* Picture = nullptr;
    QComboBox* PageNumberComboBox = nullptr;
};

}  // namespace tavrin

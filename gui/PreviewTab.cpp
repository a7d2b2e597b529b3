#include "gui/PreviewTab.h"

#include "gui/PreviewPicture.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tavrin {

TPreviewTab::TPreviewTab(TCatalogueConnection& catalogue, QWidget* parent) : QWidget(parent), Preview(catalogue)
{
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture = new QLabel(frame);
    Picture->setObjectName("Preview");
    Picture->setFixedSize(288, 288);
    Picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture->setToolTip("Displays a preview of the job.");
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(Picture);

    PageNumberComboBox = new QComboBox(this);
    PageNumberComboBox->setObjectName("PageNumberComboBox");
    PageNumberComboBox->setToolTip("Click to change the page number of the preview.");
    PageNumberComboBox->setMinimumWidth(80);
    connect(PageNumberComboBox, &QComboBox::currentIndexChanged, this, &TPreviewTab::PageChanged);

    auto* pages = new QHBoxLayout;
    pages->addWidget(new QLabel("Page", this));
    pages->addWidget(PageNumberComboBox);
    pages->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame, 0, Qt::AlignLeft);
    layout->addLayout(pages);
    layout->addStretch();
}

// 1. The job's record; a new job gets its page list, page 1 selected.
// 2. The overview of the chosen page, or "Preview not available".
void TPreviewTab::DrawPreview(std::optional<std::int32_t> jobReference)
{
    if (!jobReference)
        return;
    if (Preview.BeginDraw(*jobReference)) {
        const QSignalBlocker blocker(PageNumberComboBox);
        PageNumberComboBox->clear();
        for (int page = 1; page <= Preview.PageCount(); ++page)
            PageNumberComboBox->addItem(QString::number(page));
        PageNumberComboBox->setCurrentIndex(0);
    }
    const std::string file = Preview.OverviewFile(PageNumberComboBox->currentText().toStdString());
    QImage picture = file.empty() ? QImage() : LoadPreviewPicture(file);
    if (picture.isNull())
        picture = PreviewNotAvailablePicture();
    Picture->setPixmap(QPixmap::fromImage(picture));
}

}  // namespace tavrin

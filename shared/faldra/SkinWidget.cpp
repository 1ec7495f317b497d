#include "shared/faldra/SkinWidget.h"

namespace faldra
{
CSkinWidget::~CSkinWidget() = default;

void CSkinWidget::SetDisabledImage(CModularImage* image)
{
    if (image == m_disabledImage.get())
        return;
    m_disabledImage.reset(image);
}
} // namespace faldra

#pragma once

#include "shared/faldra/Export.h"
#include "shared/faldra/ModularImage.h"

#include <memory>

namespace faldra
{
/// A mix-in holding the image of a control's disabled state. Copies of a widget share the image; it is
/// freed with the last widget that holds it.
class FALDRA_API CSkinWidget
{
public:
    CSkinWidget() = default;
    CSkinWidget(const CSkinWidget& other) = default;
    CSkinWidget& operator=(const CSkinWidget& other) = default;
    virtual ~CSkinWidget();

    CModularImage* GetDisabledImage() const { return m_disabledImage.get(); }
    /// The widget takes ownership of `image`; the image held so far is released. Setting the image
    /// already held changes nothing.
    void SetDisabledImage(CModularImage* image);

private:
    std::shared_ptr<CModularImage> m_disabledImage;
};
} // namespace faldra

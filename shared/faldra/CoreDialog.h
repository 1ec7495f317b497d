#pragma once

#include "platform/window/Afx.h"
#include "shared/faldra/Export.h"

namespace faldra
{
/// A dialog that paints a bitmap as its background: at the corner (the window sized to it), tiled,
/// centred or stretched. Owns its bitmap. User-interface thread only; raises nothing.
class FALDRA_API CCoreDialog : public CDialog
{
    DECLARE_DYNAMIC(CCoreDialog)
public:
    enum LayoutStyle
    {
        Normal = 0,
        Tile = 1,
        Center = 2,
        Stretch = 3,
    };

    explicit CCoreDialog(CWnd* parent = nullptr);
    CCoreDialog(const CCoreDialog&) = delete;
    CCoreDialog& operator=(const CCoreDialog&) = delete;
    ~CCoreDialog() override;

    /// Takes over `bitmap`; 0 when its size cannot be read (the bitmap is then freed). A null bitmap
    /// removes the background.
    virtual BOOL SetBitmap(HBITMAP bitmap);
    /// A bitmap resource of the calling program.
    virtual BOOL SetBitmap(int id);
    virtual void SetStyle(LayoutStyle style);
    LayoutStyle GetStyle() const { return m_style; }

protected:
    virtual void FreeResources();
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    DECLARE_MESSAGE_MAP()

private:
    void FitWindow();

    HBITMAP m_bitmap = nullptr;
    int m_width = 0;
    int m_height = 0;
    LayoutStyle m_style = Normal;
};
} // namespace faldra

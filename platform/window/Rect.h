#pragma once

#include "platform/window/WinUser.h"

#include <algorithm>

/// The class library's point, size and rectangle: the Windows records with their operators and helpers.
class CSize;
class CRect;

class CPoint : public POINT
{
public:
    CPoint() noexcept : POINT{0, 0} {}
    CPoint(int x_, int y_) noexcept : POINT{x_, y_} {}
    CPoint(POINT p) noexcept : POINT(p) {}
    CPoint(SIZE s) noexcept : POINT{s.cx, s.cy} {}
    explicit CPoint(LPARAM lParam) noexcept : POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)} {}

    void Offset(int dx, int dy) noexcept
    {
        x += dx;
        y += dy;
    }
    void Offset(POINT p) noexcept { Offset(p.x, p.y); }
    void SetPoint(int x_, int y_) noexcept
    {
        x = x_;
        y = y_;
    }
    bool operator==(POINT p) const noexcept { return x == p.x && y == p.y; }
    bool operator!=(POINT p) const noexcept { return !(*this == p); }
    CPoint& operator+=(POINT p) noexcept
    {
        Offset(p);
        return *this;
    }
    CPoint& operator-=(POINT p) noexcept
    {
        Offset(-p.x, -p.y);
        return *this;
    }
    CPoint operator+(POINT p) const noexcept { return CPoint(x + p.x, y + p.y); }
    CPoint operator-(POINT p) const noexcept { return CPoint(x - p.x, y - p.y); }
    CPoint operator-() const noexcept { return CPoint(-x, -y); }
};

class CSize : public SIZE
{
public:
    CSize() noexcept : SIZE{0, 0} {}
    CSize(int cx_, int cy_) noexcept : SIZE{cx_, cy_} {}
    CSize(SIZE s) noexcept : SIZE(s) {}
    CSize(POINT p) noexcept : SIZE{p.x, p.y} {}
    bool operator==(SIZE s) const noexcept { return cx == s.cx && cy == s.cy; }
    bool operator!=(SIZE s) const noexcept { return !(*this == s); }
    CSize operator+(SIZE s) const noexcept { return CSize(cx + s.cx, cy + s.cy); }
    CSize operator-(SIZE s) const noexcept { return CSize(cx - s.cx, cy - s.cy); }
};

class CRect : public RECT
{
public:
    CRect() noexcept : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) noexcept : RECT{l, t, r, b} {}
    CRect(const RECT& r) noexcept : RECT(r) {}
    CRect(LPCRECT r) noexcept : RECT(r ? *r : RECT{0, 0, 0, 0}) {}
    CRect(POINT p, SIZE s) noexcept : RECT{p.x, p.y, p.x + s.cx, p.y + s.cy} {}
    CRect(POINT topLeft, POINT bottomRight) noexcept
        : RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y}
    {
    }

    int Width() const noexcept { return right - left; }
    int Height() const noexcept { return bottom - top; }
    CSize Size() const noexcept { return CSize(Width(), Height()); }
    CPoint& TopLeft() noexcept { return *reinterpret_cast<CPoint*>(this); }
    CPoint& BottomRight() noexcept { return *reinterpret_cast<CPoint*>(&right); }
    const CPoint& TopLeft() const noexcept { return *reinterpret_cast<const CPoint*>(this); }
    const CPoint& BottomRight() const noexcept { return *reinterpret_cast<const CPoint*>(&right); }
    CPoint CenterPoint() const noexcept { return CPoint((left + right) / 2, (top + bottom) / 2); }

    operator LPRECT() noexcept { return this; }
    operator LPCRECT() const noexcept { return this; }

    BOOL IsRectEmpty() const noexcept { return right <= left || bottom <= top; }
    BOOL IsRectNull() const noexcept { return left == 0 && right == 0 && top == 0 && bottom == 0; }
    BOOL PtInRect(POINT p) const noexcept { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    void SetRect(int l, int t, int r, int b) noexcept
    {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    void SetRectEmpty() noexcept { SetRect(0, 0, 0, 0); }
    void CopyRect(LPCRECT r) noexcept { *static_cast<RECT*>(this) = *r; }
    BOOL EqualRect(LPCRECT r) const noexcept
    {
        return left == r->left && top == r->top && right == r->right && bottom == r->bottom;
    }
    void InflateRect(int dx, int dy) noexcept
    {
        left -= dx;
        top -= dy;
        right += dx;
        bottom += dy;
    }
    void InflateRect(SIZE s) noexcept { InflateRect(s.cx, s.cy); }
    void InflateRect(int l, int t, int r, int b) noexcept
    {
        left -= l;
        top -= t;
        right += r;
        bottom += b;
    }
    void InflateRect(LPCRECT r) noexcept { InflateRect(r->left, r->top, r->right, r->bottom); }
    void DeflateRect(int dx, int dy) noexcept { InflateRect(-dx, -dy); }
    void DeflateRect(SIZE s) noexcept { InflateRect(-s.cx, -s.cy); }
    void DeflateRect(int l, int t, int r, int b) noexcept { InflateRect(-l, -t, -r, -b); }
    void DeflateRect(LPCRECT r) noexcept { InflateRect(-r->left, -r->top, -r->right, -r->bottom); }
    void OffsetRect(int dx, int dy) noexcept
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    void OffsetRect(POINT p) noexcept { OffsetRect(p.x, p.y); }
    void OffsetRect(SIZE s) noexcept { OffsetRect(s.cx, s.cy); }
    void MoveToX(int x) noexcept
    {
        right = x + Width();
        left = x;
    }
    void MoveToY(int y) noexcept
    {
        bottom = y + Height();
        top = y;
    }
    void MoveToXY(int x, int y) noexcept
    {
        MoveToX(x);
        MoveToY(y);
    }
    void MoveToXY(POINT p) noexcept { MoveToXY(p.x, p.y); }
    void NormalizeRect() noexcept
    {
        if (left > right)
            std::swap(left, right);
        if (top > bottom)
            std::swap(top, bottom);
    }
    BOOL IntersectRect(LPCRECT a, LPCRECT b) noexcept { return ::IntersectRect(this, a, b); }
    BOOL UnionRect(LPCRECT a, LPCRECT b) noexcept { return ::UnionRect(this, a, b); }
    BOOL SubtractRect(LPCRECT a, LPCRECT b) noexcept { return ::SubtractRect(this, a, b); }

    CRect& operator=(const RECT& r) noexcept
    {
        CopyRect(&r);
        return *this;
    }
    bool operator==(const RECT& r) const noexcept { return EqualRect(&r); }
    bool operator!=(const RECT& r) const noexcept { return !EqualRect(&r); }
    void operator+=(POINT p) noexcept { OffsetRect(p); }
    void operator-=(POINT p) noexcept { OffsetRect(-p.x, -p.y); }
    void operator&=(const RECT& r) noexcept { ::IntersectRect(this, this, &r); }
    void operator|=(const RECT& r) noexcept { ::UnionRect(this, this, &r); }
    CRect operator+(POINT p) const noexcept
    {
        CRect r(*this);
        r.OffsetRect(p);
        return r;
    }
    CRect operator-(POINT p) const noexcept
    {
        CRect r(*this);
        r.OffsetRect(-p.x, -p.y);
        return r;
    }
    CRect operator&(const RECT& other) const noexcept
    {
        CRect r;
        ::IntersectRect(&r, this, &other);
        return r;
    }
    CRect operator|(const RECT& other) const noexcept
    {
        CRect r;
        ::UnionRect(&r, this, &other);
        return r;
    }
};

#pragma once

#include "platform/window/WinUser.h"

#include <cstring>
#include <string>
#include <vector>

namespace window_test
{
/// Writes dialog templates in the resource compiler's byte layout, plain or extended.
class TemplateBuilder
{
public:
    struct Item
    {
        WORD classOrdinal = 0; // 0x80 Button, 0x81 Edit, 0x82 Static; 0 for a class name
        std::string className;
        DWORD id = 0;
        DWORD style = 0;
        short x = 0, y = 0, cx = 0, cy = 0;
        std::string text;
    };

    TemplateBuilder(bool extended, DWORD style, short cx, short cy, std::string title = "Dialog")
        : m_extended(extended), m_style(style), m_cx(cx), m_cy(cy), m_title(std::move(title))
    {
    }
    TemplateBuilder& Font(WORD points, std::string face)
    {
        m_style |= DS_SETFONT;
        m_points = points;
        m_face = std::move(face);
        return *this;
    }
    /// The extended style of an extended template.
    TemplateBuilder& ExStyle(DWORD exStyle)
    {
        m_exStyle = exStyle;
        return *this;
    }
    TemplateBuilder& Add(Item item)
    {
        m_items.push_back(std::move(item));
        return *this;
    }
    std::vector<BYTE> Build() const
    {
        std::vector<BYTE> out;
        if (m_extended)
        {
            Word(out, 1);
            Word(out, 0xFFFF);
            Dword(out, 0);
            Dword(out, m_exStyle);
            Dword(out, m_style);
        }
        else
        {
            Dword(out, m_style);
            Dword(out, 0);
        }
        Word(out, static_cast<WORD>(m_items.size()));
        Word(out, 10);
        Word(out, 10);
        Word(out, static_cast<WORD>(m_cx));
        Word(out, static_cast<WORD>(m_cy));
        Word(out, 0); // no menu
        Word(out, 0); // the dialog class
        String(out, m_title);
        if (m_style & DS_SETFONT)
        {
            Word(out, m_points);
            if (m_extended)
            {
                Word(out, 400);
                out.push_back(0);
                out.push_back(1);
            }
            String(out, m_face);
        }
        for (const Item& item : m_items)
        {
            while (out.size() % 4)
                out.push_back(0);
            if (m_extended)
            {
                Dword(out, 0);
                Dword(out, 0);
                Dword(out, item.style);
            }
            else
            {
                Dword(out, item.style);
                Dword(out, 0);
            }
            Word(out, static_cast<WORD>(item.x));
            Word(out, static_cast<WORD>(item.y));
            Word(out, static_cast<WORD>(item.cx));
            Word(out, static_cast<WORD>(item.cy));
            if (m_extended)
                Dword(out, item.id);
            else
                Word(out, static_cast<WORD>(item.id));
            if (item.classOrdinal)
            {
                Word(out, 0xFFFF);
                Word(out, item.classOrdinal);
            }
            else
                String(out, item.className);
            String(out, item.text);
            Word(out, 0); // no creation data
        }
        return out;
    }

private:
    static void Word(std::vector<BYTE>& out, WORD v)
    {
        out.push_back(static_cast<BYTE>(v & 0xFF));
        out.push_back(static_cast<BYTE>(v >> 8));
    }
    static void Dword(std::vector<BYTE>& out, DWORD v)
    {
        Word(out, static_cast<WORD>(v & 0xFFFF));
        Word(out, static_cast<WORD>(v >> 16));
    }
    static void String(std::vector<BYTE>& out, const std::string& s)
    {
        for (unsigned char c : s)
            Word(out, c);
        Word(out, 0);
    }

    bool m_extended;
    DWORD m_style;
    DWORD m_exStyle = 0;
    short m_cx, m_cy;
    std::string m_title;
    WORD m_points = 0;
    std::string m_face;
    std::vector<Item> m_items;
};
} // namespace window_test

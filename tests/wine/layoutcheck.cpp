// The layout check of the Wine tests: every text whole inside its control, and no
// sibling painting over it.
#include "harness.h"

namespace {

// Spare room a text must leave in its control: the device's own Tahoma may set a
// text a pixel or two wider than Wine's.
const int slack = 2;

// The size text takes in control's font; for one line, its width stops at the last
// character's ink (the blank after it, its right bearing, may fall outside).
SIZE textSize(HWND control, const std::wstring& text, UINT flags, int width = 0)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT rect = {0, 0, width, 0};
    DrawTextW(dc, text.c_str(), -1, &rect, flags | DT_CALCRECT | DT_NOPREFIX);
    ABC last = {};
    if ((flags & DT_SINGLELINE) && !text.empty() && GetCharABCWidthsW(dc, text.back(), text.back(), &last) &&
        last.abcC > 0)
        rect.right -= last.abcC;
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {rect.right, rect.bottom};
}

std::wstring className(HWND window)
{
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

} // namespace

std::vector<Ink> checkTexts(HWND parent, const char* where)
{
    std::vector<Ink> inks;
    RECT client;
    GetClientRect(parent, &client);
    // The box and the gap before the text: 13 pixels at 96 dpi and half a digit.
    HDC screen = GetDC(nullptr);
    int checkBox = MulDiv(13, GetDeviceCaps(screen, LOGPIXELSX), 96) + textSize(parent, L"0", DT_SINGLELINE).cx / 2;
    ReleaseDC(nullptr, screen);
    for (HWND control = GetWindow(parent, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        if (!IsWindowVisible(control)) continue;
        RECT rect = childRect(parent, control);
        int id = GetDlgCtrlID(control);
        int width = rect.right - rect.left, height = rect.bottom - rect.top;
        EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right && rect.bottom <= client.bottom)
            << where << ": control " << id << " is cut by its window";
        std::wstring name = className(control), text = windowText(control);
        LONG style = GetWindowLongW(control, GWL_STYLE);
        Ink ink = {control, rect};
        if (name == L"Button") {
            bool box = (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
            const char* kind = box ? ": check box " : ": button ";
            SIZE size = textSize(control, text, DT_SINGLELINE);
            EXPECT_LE(size.cx + (box ? checkBox : 4) + slack, width) << where << kind << id << " cuts its text";
            EXPECT_LE(size.cy, height + 2) << where << kind << id;
            if (box) ink.rect.right = rect.left + size.cx + checkBox;
        } else if (name == L"Static") {
            int lineHeight = textSize(control, L"X", DT_SINGLELINE).cy;
            bool wraps = text.find(L'\n') != std::wstring::npos || height >= 2 * lineHeight;
            SIZE size = wraps ? textSize(control, text, DT_WORDBREAK, width - slack)
                              : textSize(control, text, DT_SINGLELINE);
            EXPECT_LE(size.cx + slack, width) << where << ": static " << id << " cuts its text";
            EXPECT_LE(size.cy, height + 2) << where << ": static " << id << " cuts its lines";
            if (!wraps) {
                LONG align = style & SS_TYPEMASK;
                if (align == SS_RIGHT) ink.rect.left = rect.right - size.cx;
                else if (align == SS_CENTER) ink.rect.left = rect.left + (width - size.cx) / 2;
                ink.rect.right = ink.rect.left + size.cx;
            }
        }
        inks.push_back(ink);
    }
    return inks;
}

// No sibling may paint over a control's text: one that paints after it (it lies
// lower, or it repaints on its own because the user works it) must clip its
// siblings. Neighbours may share a border of a pixel or two.
void checkNoOverlap(const std::vector<Ink>& inks, const char* where)
{
    auto below = [](HWND a, HWND b) {
        for (HWND w = GetWindow(a, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
            if (w == b) return true;
        return false;
    };
    for (const Ink& text : inks)
        for (const Ink& other : inks) {
            if (text.control == other.control) continue;
            RECT otherRect = childRect(GetParent(other.control), other.control), both;
            if (!IntersectRect(&both, &text.rect, &otherRect)) continue;
            if (both.right - both.left <= 2 || both.bottom - both.top <= 2) continue;
            bool paintsAfter = below(text.control, other.control) || className(other.control) != L"Static";
            bool clips = GetWindowLongW(other.control, GWL_STYLE) & WS_CLIPSIBLINGS;
            EXPECT_FALSE(paintsAfter && !clips) << where << ": control " << GetDlgCtrlID(other.control)
                                                << " paints over the text of " << GetDlgCtrlID(text.control);
        }
}


#include "skin/SomTextWnd.h"

#include <climits>

namespace {

bool IsSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'z') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'Z') {
        return c - u'A' + 10;
    }
    return 99;
}

// The platform's signed conversion of a UTF-16 number in the given base.
int ToInt32(const char16_t* s, size_t n, int base) {
    size_t i = 0;
    while (i < n && IsSpace(s[i])) {
        ++i;
    }
    bool negative = false;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    if (base == 16 && i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X') &&
        i + 2 < n && DigitValue(s[i + 2]) < 16) {
        i += 2;
    }
    long long value = 0;
    bool saturated = false;
    for (; i < n; ++i) {
        int d = DigitValue(s[i]);
        if (d >= base) {
            break;
        }
        if (!saturated) {
            value = value * base + d;
            if (value > static_cast<long long>(INT_MAX) + 1) {
                saturated = true;
            }
        }
    }
    if (negative) {
        value = -value;
    }
    if (saturated || value > INT_MAX) {
        return negative ? INT_MIN : INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

char16_t Lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

// Whether `name` begins with the lower-case ASCII `prefix`, ignoring case.
bool StartsWith(const char16_t* name, size_t length, const char16_t* prefix, size_t& prefixLength) {
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= length || Lower(name[i]) != prefix[i]) {
            return false;
        }
    }
    prefixLength = i;
    return true;
}

}  // namespace

int ParseSomNumber(const char16_t* text, size_t length, bool allowHash) {
    if (allowHash && length >= 1 && text[0] == u'#') {
        return ToInt32(text + 1, length - 1, 16);
    }
    if (length >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        return ToInt32(text + 2, length - 2, 16);
    }
    return ToInt32(text, length, 10);
}

void CSomTextWnd::OnCreate() {
    m_style |= SWS_TRANSPARENT;
    m_hoverRun = -1;
    m_pressedRun = -1;
    RecalcLayout();
}

void CSomTextWnd::SetMarkup(LPCWSTR markup) {
    const char16_t* s = markup ? markup : u"";
    size_t n = 0;
    while (s[n]) {
        ++n;
    }
    if (m_markup.size() == n && m_markup.compare(0, n, s, n) == 0) {
        return;
    }
    m_hoverRun = -1;
    if (m_pressedRun != -1) {
        if (m_pManager) {
            m_pManager->ReleaseWndCapture(this);
        }
        m_pressedRun = -1;
    }
    m_runs.clear();
    m_markup.assign(s, n);

    std::vector<HFONT> fonts{nullptr};
    std::vector<int> colors{-1};
    std::vector<int> linkColors{-1};
    std::vector<std::u16string> links{std::u16string()};
    std::u16string pending;
    auto flush = [&] {
        if (pending.empty()) {
            return;
        }
        TextRun run;
        run.text.swap(pending);
        run.link = links.back();
        run.color = run.link.empty() ? colors.back() : linkColors.back();
        run.font = fonts.back();
        m_runs.push_back(std::move(run));
    };

    const char16_t* text = m_markup.c_str();
    // Position of the first "}" at or after the scan; the scan only moves
    // forward, so finding it stays linear over the whole string.
    size_t close = 0;
    size_t pos = 0;
    while (pos < n) {
        if (close < pos + 3) {
            close = pos + 3;
            while (close < n && text[close] != u'}') {
                ++close;
            }
        }
        bool tag = pos + 3 <= n && text[pos] == u'{' && text[pos + 1] == u'&' &&
                   text[pos + 2] == u'#' && close < n;
        if (!tag) {
            // Runs of plain text are taken whole up to the next possible tag.
            size_t end = pos + 1;
            while (end < n && text[end] != u'{') {
                ++end;
            }
            pending.append(text + pos, end - pos);
            pos = end;
            continue;
        }
        flush();
        const char16_t* name = text + pos + 3;
        size_t length = close - (pos + 3);
        size_t p = 0;
        if (StartsWith(name, length, u"a=", p)) {
            links.emplace_back(name + p, length - p);
        } else if (StartsWith(name, length, u"/acolor", p)) {
            if (linkColors.size() > 1) {
                linkColors.pop_back();
            }
        } else if (StartsWith(name, length, u"/a", p)) {
            if (links.size() > 1) {
                links.pop_back();
            }
        } else if (StartsWith(name, length, u"acolor=", p)) {
            linkColors.push_back(ParseSomNumber(name + p, length - p, true));
        } else if (StartsWith(name, length, u"font=", p)) {
            int index = ToInt32(name + p, length - p, 10);
            if (index >= 1 && index <= SOM_FONT_COUNT) {
                fonts.push_back(g_somFonts[index - 1]);
            }
        } else if (StartsWith(name, length, u"/font", p)) {
            if (fonts.size() > 1) {
                fonts.pop_back();
            }
        } else if (StartsWith(name, length, u"color=", p)) {
            colors.push_back(ParseSomNumber(name + p, length - p, true));
        } else if (StartsWith(name, length, u"/color", p)) {
            if (colors.size() > 1) {
                colors.pop_back();
            }
        }
        pos = close + 1;
    }
    flush();
    RecalcLayout();
    Invalidate();
}

void CSomTextWnd::SetDefaultColor(COLORREF color) {
    if (color != m_textColor) {
        m_textColor = color;
        Invalidate();
    }
}

void CSomTextWnd::RecalcLayout() {
    int lineHeight = 0;
    HGDIOBJ old = nullptr;
    HFONT selected = nullptr;
    for (TextRun& run : m_runs) {
        HFONT font = run.font ? run.font : m_hFont;
        if (font != selected || !old) {
            HGDIOBJ previous = SelectObject(g_hMemDC, font);
            if (!old) {
                old = previous;
            }
            selected = font;
        }
        SIZE size{};
        GetTextExtentPoint32W(g_hMemDC, run.text.c_str(), static_cast<int>(run.text.size()), &size);
        run.rect.right = size.cx;  // width until the runs are placed
        run.rect.top = size.cy;    // height until the runs are placed
        if (size.cy > lineHeight) {
            lineHeight = size.cy;
        }
    }
    if (old) {
        SelectObject(g_hMemDC, old);
    }
    int x = 0;
    for (TextRun& run : m_runs) {
        int width = run.rect.right;
        int height = run.rect.top;
        run.rect = RECT{x, lineHeight - height, x + width, lineHeight};
        x += width;
    }
    if ((m_style & SWS_AUTOSIZE) && m_pManager) {
        int width = x;
        if (m_maxWidth >= 0 && width > m_maxWidth) {
            width = m_maxWidth;
        }
        m_pManager->SetWndSize(this, width, lineHeight);
    }
}

void CSomTextWnd::DrawRun(HDC dc, int index, int clipRight) {
    const TextRun& run = m_runs[index];
    COLORREF color;
    if (index == m_hoverRun) {
        color = m_hoverColor;
    } else if (run.color >= 0) {
        color = static_cast<COLORREF>(run.color) & 0xFFFFFF;
    } else {
        color = run.link.empty() ? m_textColor : m_linkColor;
    }
    int limit = clipRight != -1 ? clipRight : m_maxWidth;
    DrawClippedText(limit, &run.rect, dc, run.text.c_str(), static_cast<int>(run.text.size()),
                    run.font ? run.font : m_hFont, color);
}

void CSomTextWnd::OnPaint(HDC dc, int clipRight, int part) {
    SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = GetTextColor(dc);
    if (part > 0) {
        if (part - 1 < static_cast<int>(m_runs.size())) {
            DrawRun(dc, part - 1, clipRight);
        }
    } else {
        RECT clip{};
        GetClipBox(dc, &clip);
        for (size_t i = 0; i < m_runs.size(); ++i) {
            RECT overlap;
            if (IntersectRect(&overlap, &m_runs[i].rect, &clip)) {
                DrawRun(dc, static_cast<int>(i), clipRight);
            }
        }
    }
    SetTextColor(dc, oldColor);
}

int CSomTextWnd::RunAt(POINT pt) const {
    for (size_t i = 0; i < m_runs.size(); ++i) {
        const RECT& r = m_runs[i].rect;
        if (r.left <= pt.x && pt.x < r.right && r.top <= pt.y && pt.y < r.bottom) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CSomTextWnd::RepaintRun(int index) {
    if (m_pManager && index >= 0 && index < static_cast<int>(m_runs.size())) {
        m_pManager->InvalidateWnd(this, &m_runs[index].rect, FALSE, index + 1);
    }
}

BOOL CSomTextWnd::OnSetCursor(POINT* pt) {
    int i = RunAt(*pt);
    if (i >= 0 && !m_runs[i].link.empty()) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return 1;
    }
    return 0;
}

LRESULT CSomTextWnd::OnMouseMove(POINT* pt) {
    int i = RunAt(*pt);
    if (i < 0) {
        return 0;
    }
    int old = m_hoverRun;
    if (!m_runs[i].link.empty()) {
        if (i != old) {
            m_hoverRun = i;
            RepaintRun(i);
        }
    } else {
        m_hoverRun = -1;
    }
    // Moving within the hovered run changes nothing on the screen.
    if (old >= 0 && old != m_hoverRun) {
        RepaintRun(old);
    }
    return 0;
}

void CSomTextWnd::OnMouseEnter(POINT*) {}

void CSomTextWnd::OnMouseLeave() {
    if (m_hoverRun >= 0) {
        int i = m_hoverRun;
        m_hoverRun = -1;
        RepaintRun(i);
    }
}

BOOL CSomTextWnd::OnLButtonDown(POINT* pt) {
    int i = RunAt(*pt);
    if (i < 0) {
        return m_pressedRun >= 0;
    }
    int old = m_pressedRun;
    if (!m_runs[i].link.empty()) {
        if (i != old) {
            m_pressedRun = i;
            RepaintRun(i);
            if (m_pManager) {
                m_pManager->SetWndCapture(this);
            }
        }
    } else {
        m_pressedRun = -1;
    }
    if (old >= 0) {
        RepaintRun(old);
    }
    return m_pressedRun >= 0;
}

BOOL CSomTextWnd::OnLButtonUp(POINT*) {
    if (m_pressedRun >= 0 && m_pManager) {
        m_pManager->ReleaseWndCapture(this);
    }
    return m_pressedRun >= 0;
}

void CSomTextWnd::OnCaptureLost() {
    if (m_pressedRun < 0) {
        return;
    }
    int pressed = m_pressedRun;
    m_pressedRun = -1;
    RepaintRun(pressed);
    if (m_hoverRun < 0 || m_hoverRun >= static_cast<int>(m_runs.size())) {
        return;
    }
    const std::u16string& link = m_runs[m_hoverRun].link;
    size_t p = 0;
    if (StartsWith(link.c_str(), link.size(), u"button:", p) && m_pManager) {
        int id = ParseSomNumber(link.c_str() + p, link.size() - p, false);
        m_pManager->SendCommand(this, 0, static_cast<WORD>(id));
    }
}

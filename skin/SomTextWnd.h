#pragma once
// One line of text runs with their own fonts and colours, given as markup
// with "{&#...}" tags; link runs change colour under the pointer and can
// send a command ("button:" followed by its id).
#include <string>
#include <vector>

#include "skin/SomBitmap.h"
#include "skin/SomWnd.h"

struct TextRun {
    std::u16string text;
    RECT rect{};
    HFONT font = nullptr;  // null: the control's default font
    int color = -1;        // below 0: the control's default for the run's kind
    std::u16string link;   // empty: plain text
};

class CSomTextWnd : public CSomWnd {
public:
    CSomTextWnd() = default;
    ~CSomTextWnd() override = default;

    void OnCreate() override;
    void OnPaint(HDC dc, int clipRight, int part) override;
    void OnCaptureLost() override;
    BOOL OnSetCursor(POINT* pt) override;
    BOOL OnLButtonDown(POINT* pt) override;
    BOOL OnLButtonUp(POINT* pt) override;
    LRESULT OnMouseMove(POINT* pt) override;
    void OnMouseEnter(POINT* pt) override;
    void OnMouseLeave() override;
    virtual void RecalcLayout();

    void SetMarkup(LPCWSTR markup);
    void SetDefaultColor(COLORREF color);
    void SetDefaultFont(HFONT font) {
        m_hFont = font;
        RecalcLayout();
    }
    void SetMaxWidth(int width) { m_maxWidth = width; }

    const std::vector<TextRun>& GetRuns() const { return m_runs; }
    int GetHoverRun() const { return m_hoverRun; }
    int GetPressedRun() const { return m_pressedRun; }
    // The first run whose rectangle holds the control-local point, or -1.
    int RunAt(POINT pt) const;

    std::u16string m_markup;
    std::vector<TextRun> m_runs;
    HFONT m_hFont = g_somFonts[2];
    COLORREF m_textColor = 0x000000;
    COLORREF m_linkColor = 0x984E00;
    COLORREF m_hoverColor = 0xDA7003;
    int m_maxWidth = -1;
    int m_hoverRun = -1;
    int m_pressedRun = -1;

private:
    void RepaintRun(int index);
    void DrawRun(HDC dc, int index, int clipRight);
};

// Markup numbers: "#" or "0x" prefix for base 16, else base 10; leading
// blanks and a sign accepted; no digits give 0; saturates at 32 bits.
int ParseSomNumber(const char16_t* text, size_t length, bool allowHash);

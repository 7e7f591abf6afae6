#pragma once
// Push buttons drawn from four-frame strips, and check boxes drawn from the
// nine-frame check strip. Both click on a release over the control.
#include <string>

#include "skin/SomBitmap.h"
#include "skin/SomWnd.h"

class CSomButton4 : public CSomWnd {
public:
    CSomButton4() = default;
    ~CSomButton4() override = default;

    void OnCreate() override;
    void OnPaint(HDC dc, int clipRight, int part) override;
    void OnCaptureLost() override;
    BOOL OnLButtonDown(POINT* pt) override;
    BOOL OnLButtonUp(POINT* pt) override;
    void OnMouseEnter(POINT* pt) override;
    void OnMouseLeave() override;

    void SetText(LPCWSTR text);
    void SetFace(CSomBitmap* face) {
        m_pFace = face;
        UpdateLayout();
    }
    void SetIcon(CSomBitmap* icon, int frame) {
        m_pIcon = icon;
        m_iconFrame = frame;
        UpdateLayout();
    }
    void UpdateLayout();
    // Face frame: 0 normal, 1 hover, 2 pressed, 3 disabled.
    int GetFaceFrame() const;

    bool m_bHot = false;
    bool m_bPressed = false;
    std::u16string m_text;
    CSomBitmap* m_pIcon = nullptr;
    int m_iconFrame = 0;
    CSomBitmap* m_pFace = nullptr;
    int m_contentX = 0;
};

class CSomCheckBox : public CSomWnd {
public:
    explicit CSomCheckBox(CSomBitmap* image) : m_pImage(image) {}
    ~CSomCheckBox() override = default;

    void OnCreate() override;
    void OnPaint(HDC dc, int clipRight, int part) override;
    void OnCaptureLost() override;
    BOOL OnLButtonDown(POINT* pt) override;
    BOOL OnLButtonUp(POINT* pt) override;
    void OnMouseEnter(POINT* pt) override;
    void OnMouseLeave() override;

    void SetLabel(LPCWSTR label);
    void SetCheck(BOOL check);
    BOOL GetCheck() const { return m_checked; }
    void UpdateLayout();
    // Frame of the check strip for the current state.
    int GetFrame() const;

    BOOL m_bHot = FALSE;
    BOOL m_checked = FALSE;
    BOOL m_indeterminate = FALSE;
    BOOL m_bPressed = FALSE;
    BOOL m_radio = FALSE;
    CSomBitmap* m_pImage = nullptr;
    std::u16string m_label;
};

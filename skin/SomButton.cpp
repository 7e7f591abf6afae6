#include "skin/SomButton.h"

// ---- CSomButton4 ----

void CSomButton4::OnCreate() {
    m_style |= SWS_TRANSPARENT;
    m_bHot = false;
    m_bPressed = false;
}

void CSomButton4::SetText(LPCWSTR text) {
    m_text = text ? text : u"";
    UpdateLayout();
}

void CSomButton4::UpdateLayout() {
    m_contentX = 0;
    int contentWidth = 0;
    if (m_pIcon) {
        contentWidth = m_pIcon->GetFrameWidth();
    }
    if (!m_text.empty()) {
        SIZE size{};
        contentWidth +=
            MeasureText(g_somFonts[2], m_text.c_str(), static_cast<int>(m_text.size()), &size);
    }
    if (m_pIcon && !m_text.empty()) {
        contentWidth += 5;
    }
    if (m_style & SWS_AUTOSIZE) {
        if (m_pFace) {
            int width = contentWidth + 15;
            if (width < m_pFace->GetFrameWidth()) {
                width = m_pFace->GetFrameWidth();
            }
            if (m_pManager) {
                m_pManager->SetWndSize(this, width, m_pFace->GetHeight());
            }
            m_contentX = (width - contentWidth) / 2;
        }
    } else {
        m_contentX = (GetWidth() - contentWidth) / 2;
    }
    Invalidate();
}

int CSomButton4::GetFaceFrame() const {
    if (m_style & SWS_DISABLED) {
        return 3;
    }
    if (m_bHot && m_bPressed) {
        return 2;
    }
    return m_bHot ? 1 : 0;
}

void CSomButton4::OnPaint(HDC dc, int, int) {
    if (m_pFace) {
        m_pFace->DrawStretchWidth(dc, 0, 0, GetWidth(), GetFaceFrame());
    }
    int x = m_contentX;
    if (m_pIcon) {
        m_pIcon->DrawFrame(dc, x, (GetHeight() - m_pIcon->GetHeight()) / 2, m_iconFrame);
        x += m_pIcon->GetFrameWidth() + 5;
    }
    if (!m_text.empty()) {
        SetBkMode(dc, TRANSPARENT);
        HGDIOBJ oldFont = SelectObject(dc, g_somFonts[2]);
        COLORREF oldColor = SetTextColor(dc, (m_style & SWS_DISABLED) ? 0x666666 : 0x000000);
        TextOutW(dc, x, (m_bHot && m_bPressed) ? 6 : 5, m_text.c_str(),
                 static_cast<int>(m_text.size()));
        SetTextColor(dc, oldColor);
        SelectObject(dc, oldFont);
    }
}

BOOL CSomButton4::OnLButtonDown(POINT*) {
    if (!m_bPressed) {
        m_bPressed = true;
        Invalidate();
        if (m_pManager) {
            m_pManager->SetWndCapture(this);
        }
    }
    return 1;
}

BOOL CSomButton4::OnLButtonUp(POINT*) {
    if (m_bPressed && m_pManager) {
        m_pManager->ReleaseWndCapture(this);
    }
    return 1;
}

void CSomButton4::OnCaptureLost() {
    if (!m_bPressed) {
        return;
    }
    m_bPressed = false;
    Invalidate();
    if (m_bHot && m_pManager) {
        m_pManager->SendCommand(this, 0, static_cast<WORD>(m_id));
    }
}

void CSomButton4::OnMouseEnter(POINT*) {
    if (!m_bHot) {
        m_bHot = true;
        Invalidate();
    }
}

void CSomButton4::OnMouseLeave() {
    if (m_bHot) {
        m_bHot = false;
        Invalidate();
    }
}

// ---- CSomCheckBox ----

void CSomCheckBox::OnCreate() {
    m_bHot = FALSE;
    m_checked = FALSE;
    m_bPressed = FALSE;
    UpdateLayout();
}

void CSomCheckBox::SetLabel(LPCWSTR label) {
    m_label = label ? label : u"";
    UpdateLayout();
}

void CSomCheckBox::SetCheck(BOOL check) {
    if (check != m_checked || m_indeterminate) {
        m_indeterminate = FALSE;
        m_checked = check;
        Invalidate();
    }
}

void CSomCheckBox::UpdateLayout() {
    int width = m_pImage ? m_pImage->GetFrameWidth() : 0;
    int height = m_pImage ? m_pImage->GetHeight() : 0;
    if (!m_label.empty()) {
        SIZE size{};
        int labelWidth =
            MeasureText(g_somFonts[2], m_label.c_str(), static_cast<int>(m_label.size()), &size);
        width += labelWidth + 5;
        if (size.cy > height) {
            height = size.cy;
        }
        m_style |= SWS_TRANSPARENT;
    } else {
        m_style &= ~SWS_TRANSPARENT;
    }
    if ((m_style & SWS_AUTOSIZE) && m_pManager) {
        m_pManager->SetWndSize(this, width, height);
    }
    Invalidate();
}

int CSomCheckBox::GetFrame() const {
    if (m_indeterminate && !m_radio) {
        return 8;
    }
    int base = m_checked ? 4 : 0;
    if (m_style & SWS_DISABLED) {
        return base + 3;
    }
    if (m_bHot) {
        return base + (m_bPressed ? 2 : 1);
    }
    return base;
}

void CSomCheckBox::OnPaint(HDC dc, int, int) {
    int frame = GetFrame();
    if (!m_label.empty()) {
        SetBkMode(dc, TRANSPARENT);
        HGDIOBJ oldFont = SelectObject(dc, g_somFonts[2]);
        int imageWidth = m_pImage ? m_pImage->GetFrameWidth() : 0;
        TextOutW(dc, imageWidth + 5, 0, m_label.c_str(), static_cast<int>(m_label.size()));
        SelectObject(dc, oldFont);
        if (m_pImage) {
            m_pImage->DrawFrame(dc, 0, 1, frame);
        }
    } else if (m_pImage) {
        m_pImage->DrawFrame(dc, 0, 0, frame);
    }
}

BOOL CSomCheckBox::OnLButtonDown(POINT*) {
    if (!m_bPressed) {
        m_bPressed = TRUE;
        Invalidate();
        if (m_pManager) {
            m_pManager->SetWndCapture(this);
        }
    }
    return 1;
}

BOOL CSomCheckBox::OnLButtonUp(POINT*) {
    if (m_bPressed && m_pManager) {
        m_pManager->ReleaseWndCapture(this);
    }
    return 1;
}

void CSomCheckBox::OnCaptureLost() {
    if (!m_bPressed) {
        return;
    }
    m_bPressed = FALSE;
    if (m_bHot) {
        if (m_radio) {
            m_checked = TRUE;
        } else if (m_indeterminate) {
            m_checked = TRUE;
            m_indeterminate = FALSE;
        } else {
            m_checked = !m_checked;
        }
    }
    Invalidate();
    if (m_bHot && m_pManager) {
        m_pManager->SendCommand(this, 0, static_cast<WORD>(m_id));
    }
}

void CSomCheckBox::OnMouseEnter(POINT*) {
    if (!m_bHot) {
        m_bHot = TRUE;
        Invalidate();
    }
}

void CSomCheckBox::OnMouseLeave() {
    if (m_bHot) {
        m_bHot = FALSE;
        Invalidate();
    }
}

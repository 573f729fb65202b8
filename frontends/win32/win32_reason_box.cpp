#include "frontends/win32/win32_reason_box.h"

#include "platform/win32_text.h"
#include "res/resource.h"

namespace {

struct ReasonQuestion {
    std::wstring prompt;
    std::wstring reason;
};

INT_PTR CALLBACK ReasonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        SetDlgItemTextW(hwnd, IDC_REASON_TEXT, reinterpret_cast<ReasonQuestion*>(lParam)->prompt.c_str());
        // The reason is typed at once; Return still means the default
        // button, Cancel.
        SetFocus(GetDlgItem(hwnd, IDC_REASON));
        return FALSE;
    }
    if (msg != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL))
        return FALSE;
    auto* question = reinterpret_cast<ReasonQuestion*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (LOWORD(wParam) == IDOK) {
        wchar_t text[512] = {};
        GetDlgItemTextW(hwnd, IDC_REASON, text, static_cast<int>(sizeof text / sizeof text[0]));
        question->reason = text;
        if (question->reason.find_first_not_of(L" \t") == std::wstring::npos) {
            MessageBeep(MB_ICONEXCLAMATION);  // OK needs a reason
            return TRUE;
        }
    }
    EndDialog(hwnd, LOWORD(wParam));
    return TRUE;
}

}  // namespace

bool AskReasonBox(HWND owner, const std::string& prompt, std::string& reason)
{
    std::string crlf;
    for (char c : prompt)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ReasonQuestion question{Utf8ToWide(crlf), std::wstring()};
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_REASON), owner, &ReasonProc,
                        reinterpret_cast<LPARAM>(&question)) != IDOK)
        return false;
    reason = WideToUtf8(question.reason);
    return true;
}

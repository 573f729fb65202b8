#include "frontends/win32/win32_about_box.h"

#include <string>

#include "platform/host.h"
#include "platform/win32_text.h"
#include "res/resource.h"

namespace {

// The file places' field, in dialog units: below the template's texts, the
// box grown by its height.
constexpr RECT kPlaces = {7, 50, 228, 122};
constexpr int kGrowth = 76;

std::wstring PlacesText(Host& host)
{
    const std::string text = "Files, " + DescribeFilePlaces(host);
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return Utf8ToWide(crlf);
}

void AddFilePlaces(HWND box, Host& host)
{
    RECT field = kPlaces;
    MapDialogRect(box, &field);
    RECT growth = {0, 0, 0, kGrowth};
    MapDialogRect(box, &growth);
    RECT frame;
    GetWindowRect(box, &frame);
    SetWindowPos(box, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + growth.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Read-only but selectable: a path can be copied from it.
    HWND edit = CreateWindowExW(0, L"EDIT", PlacesText(host).c_str(),
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY, field.left,
                                field.top, field.right - field.left, field.bottom - field.top, box, nullptr,
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(box, GWLP_HINSTANCE)), nullptr);
    SendMessageW(edit, WM_SETFONT, static_cast<WPARAM>(SendMessageW(box, WM_GETFONT, 0, 0)), TRUE);
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        AddFilePlaces(hwnd, *reinterpret_cast<Host*>(lParam));
        return TRUE;
    }
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void ShowAboutBox(HINSTANCE instance, HWND owner, Host& host)
{
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, &AboutProc, reinterpret_cast<LPARAM>(&host));
}

#include "frontends/win32/win32_reason_box.h"
#include "frontends/win32/win32_dialog_view.h"

#include <commctrl.h>

#include "dialog/updater_dialog.h"
#include "frontends/win32/win32_about_box.h"
#include "platform/win32_text.h"
#include "res/resource.h"

Win32DialogView::Win32DialogView(HINSTANCE instance, Host& host, UpdaterDialog*& dialog)
    : m_instance(instance), m_host(host), m_dialog(dialog), m_wake(CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
    m_hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
}

Win32DialogView::~Win32DialogView()
{
    CloseHandle(m_wake);
}

INT_PTR Win32DialogView::RunModal(const char* commandLine)
{
    m_commandLine = commandLine ? commandLine : "";
    // A Unicode dialog: its controls take paths outside the ANSI code page.
    return DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_VOKTA4_DIALOG), nullptr, &Win32DialogView::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32DialogView::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32DialogView*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hwnd = hwnd;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<Win32DialogView*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->OnMessage(msg, wParam, lParam) : FALSE;
}

BOOL Win32DialogView::OnInitDialog()
{
    // The about item of the system menu, unless its text is empty.
    wchar_t about[128] = {};
    HMENU menu = GetSystemMenu(m_hwnd, FALSE);
    if (menu && LoadStringW(m_instance, IDS_ABOUTBOX, about, sizeof about / sizeof about[0]) > 0) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
    }
    m_dialog->OnInitDialog(m_commandLine);
    return TRUE;
}

INT_PTR Win32DialogView::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            ShowAboutBox(m_instance, m_hwnd, m_host);
            return TRUE;
        }
        return FALSE;
    case WM_HELP:  // F1
        ShowAboutBox(m_instance, m_hwnd, m_host);
        return TRUE;
    case WM_CONTEXTMENU:
        return ShowContextMenu(lParam) ? TRUE : FALSE;
    case WM_PAINT:
        if (IsIconic(m_hwnd)) {
            PaintMinimised();
            return TRUE;
        }
        return FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_WRITE:
            m_dialog->OnWrite();
            return TRUE;
        case IDC_CLOSE:
            m_dialog->OnCloseButton();
            return TRUE;
        case IDCANCEL:
            // Escape and the caption's close: the default cancel path, but
            // never under a running update.
            if (!m_dialog->IsUpdating())
                ::EndDialog(m_hwnd, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_TIMER:
        // Timer 1 is the only timer the dialog sets.
        if (wParam == 1)
            m_dialog->OnTimer();
        return TRUE;
    case WM_DESTROY:
        m_dialog->OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

void Win32DialogView::PaintMinimised()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(m_hwnd, &rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hwnd, &ps);
}

bool Win32DialogView::ShowContextMenu(LPARAM at)
{
    wchar_t about[128] = {};
    if (LoadStringW(m_instance, IDS_ABOUTBOX, about, sizeof about / sizeof about[0]) <= 0)
        return false;
    POINT p = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (p.x == -1 && p.y == -1) {
        p = {0, 0};
        ClientToScreen(m_hwnd, &p);
    } else {
        // On the caption the system menu stays the platform's.
        POINT client = p;
        RECT area;
        ScreenToClient(m_hwnd, &client);
        GetClientRect(m_hwnd, &area);
        if (!PtInRect(&area, client))
            return false;
    }
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
    const BOOL chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, p.x, p.y, 0, m_hwnd, nullptr);
    DestroyMenu(menu);
    if (chosen == IDM_ABOUTBOX)
        ShowAboutBox(m_instance, m_hwnd, m_host);
    return true;
}

std::string Win32DialogView::ItemText(int id) const
{
    HWND item = GetDlgItem(m_hwnd, id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return WideToUtf8(text);
}

void Win32DialogView::SetTitle(const std::string& text)
{
    SetWindowTextW(m_hwnd, Utf8ToWide(text).c_str());
}

void Win32DialogView::SetIcon()
{
    SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

void Win32DialogView::SetPortList(const std::vector<std::string>& ports, int selected)
{
    SendDlgItemMessageW(m_hwnd, IDC_COMPORT, CB_RESETCONTENT, 0, 0);
    // Inserted at the end, so the list keeps the enumeration order.
    for (const std::string& p : ports)
        SendDlgItemMessageW(m_hwnd, IDC_COMPORT, CB_INSERTSTRING, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(Utf8ToWide(p).c_str()));
    SendDlgItemMessageW(m_hwnd, IDC_COMPORT, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

std::string Win32DialogView::SelectedPort() const
{
    return ItemText(IDC_COMPORT);
}

void Win32DialogView::SelectPort(const std::string& name)
{
    const LRESULT i = SendDlgItemMessageW(m_hwnd, IDC_COMPORT, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(Utf8ToWide(name).c_str()));
    if (i != CB_ERR)
        SendDlgItemMessageW(m_hwnd, IDC_COMPORT, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
}

void Win32DialogView::SetFirmwarePath(const std::string& path)
{
    SetDlgItemTextW(m_hwnd, IDC_FIRMWARE, Utf8ToWide(path).c_str());
}

std::string Win32DialogView::FirmwarePath() const
{
    return ItemText(IDC_FIRMWARE);
}

void Win32DialogView::SetLogText(const std::string& log, const std::string& transient)
{
    HWND pane = GetDlgItem(m_hwnd, IDC_LOG);
    SetWindowTextW(pane, Utf8ToWide(log + transient).c_str());
    ShowNewestLogLine();
}

// The newest line in view, from its start, nothing selected: the caret goes
// there and the pane scrolls to it. Lines wrap, so a long reason is read
// whole without scrolling sideways.
void Win32DialogView::ShowNewestLogLine()
{
    HWND pane = GetDlgItem(m_hwnd, IDC_LOG);
    const LRESULT lastLine = SendMessageW(pane, EM_GETLINECOUNT, 0, 0) - 1;
    const LRESULT lineStart = SendMessageW(pane, EM_LINEINDEX, static_cast<WPARAM>(lastLine), 0);
    SendMessageW(pane, EM_SETSEL, static_cast<WPARAM>(lineStart), lineStart);
    SendMessageW(pane, EM_SCROLLCARET, 0, 0);
    SendMessageW(pane, WM_SETREDRAW, TRUE, 0);
}

void Win32DialogView::SetProgressRange(int low, int high)
{
    SendDlgItemMessageW(m_hwnd, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void Win32DialogView::SetProgressPos(int pos)
{
    SendDlgItemMessageW(m_hwnd, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void Win32DialogView::LockControls(bool lock)
{
    for (int id : {IDC_COMPORT, IDC_FIRMWARE, IDC_WRITE, IDC_CLOSE})
        EnableWindow(GetDlgItem(m_hwnd, id), lock ? FALSE : TRUE);
    EnableMenuItem(GetSystemMenu(m_hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND | (lock ? MF_GRAYED : MF_ENABLED));
}

bool Win32DialogView::ShowMessage(const std::string& text, MessageButtons buttons)
{
    const UINT type = (buttons == MessageButtons::Ok                    ? MB_OK
                       : buttons == MessageButtons::OkCancelDefaultCancel ? MB_OKCANCEL | MB_DEFBUTTON2
                                                                          : MB_OKCANCEL) |
                      MB_ICONEXCLAMATION;
    const bool ok = MessageBoxW(m_hwnd, Utf8ToWide(text).c_str(), L"" TXT_MESSAGE_CAPTION, type) == IDOK;
    // The focus coming back selects the whole log: the newest line again.
    ShowNewestLogLine();
    return ok;
}

bool Win32DialogView::AskReason(const std::string& prompt, std::string& reason)
{
    const bool ok = AskReasonBox(m_hwnd, prompt, reason);
    ShowNewestLogLine();
    return ok;
}

void Win32DialogView::SetTimer1(unsigned ms)
{
    SetTimer(m_hwnd, 1, ms, nullptr);
}

void Win32DialogView::KillTimer1()
{
    KillTimer(m_hwnd, 1);
}

bool Win32DialogView::DispatchOne(const MSG& msg)
{
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the modal loop
        return true;
    }
    if (!IsDialogMessageW(m_hwnd, const_cast<MSG*>(&msg))) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

bool Win32DialogView::DispatchNextMessage()
{
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            return DispatchOne(msg);
        // Sleep until a message or the reader's wake-up arrives.
        if (MsgWaitForMultipleObjects(1, &m_wake, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0)
            return false;
    }
}

bool Win32DialogView::DispatchPendingMessage()
{
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    return DispatchOne(msg);
}

void Win32DialogView::Wake()
{
    SetEvent(m_wake);
}

void Win32DialogView::EndDialog()
{
    ::EndDialog(m_hwnd, IDCANCEL);
}

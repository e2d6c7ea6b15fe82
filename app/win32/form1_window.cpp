#include "app/win32/form1_window.h"

#include <algorithm>
#include <utility>

#include "app/win32/dpi.h"
#include "app/win32/resource.h"
#include "platform/win32/text_conversion.h"

namespace velno::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"VelnoUpdaterForm1";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kFirstControlId = 100;

COLORREF ColourRef(const app::Colour& colour) { return RGB(colour.red, colour.green, colour.blue); }

std::wstring Wide(std::string_view text) { return platform::win32::Utf8ToWide(text); }

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = kWindowClass;
    window_class.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(VELNO_ICON_ID), IMAGE_ICON,
                   GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    window_class.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(VELNO_ICON_ID), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    RegisterClassExW(&window_class);  // fails harmlessly when already registered
}

const wchar_t* ClassOf(app::ControlKind kind) {
    switch (kind) {
        case app::ControlKind::kPushButton:
            return L"BUTTON";
        case app::ControlKind::kProgressBar:
            return PROGRESS_CLASSW;
        case app::ControlKind::kLabel:
            break;
    }
    return L"STATIC";
}

DWORD StyleOf(const app::ControlDescription& control) {
    // Siblings clip one another, so a label that reaches under a button
    // never paints over it.
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (control.visible_at_creation) {
        style |= WS_VISIBLE;
    }
    if (!control.enabled_at_creation) {
        style |= WS_DISABLED;
    }
    switch (control.kind) {
        case app::ControlKind::kPushButton:
            return style | WS_TABSTOP | BS_PUSHBUTTON;
        case app::ControlKind::kProgressBar:
            return style;
        case app::ControlKind::kLabel:
            break;
    }
    return style | SS_NOPREFIX |
           (control.alignment == app::Alignment::kCentre ? SS_CENTER : SS_LEFT);
}

}  // namespace

Form1Window::Form1Window(HINSTANCE instance, const app::WindowDescription& description)
    : description_(description) {
    INITCOMMONCONTROLSEX common_controls{sizeof common_controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&common_controls);
    RegisterWindowClass(instance, &Form1Window::WindowProcedure);
    window_ = CreateWindowExW(0, kWindowClass, Wide(description_.creation_title).c_str(),
                              kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        platform::win32::ThrowLastError("CreateWindow", {});
    }
    CreateControls(instance);
    Layout(DpiOf(window_), true);
}

Form1Window::~Form1Window() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    for (HFONT font : fonts_) {
        DeleteObject(font);
    }
    DeleteObject(button_font_);
}

void Form1Window::CreateControls(HINSTANCE instance) {
    // Created in tab order: that is the order Tab moves the focus in, and
    // the earlier control lies above a later one where they overlap. Each
    // control's id is its Control value past kFirstControlId.
    for (const app::Control id : description_.TabOrder()) {
        const app::ControlDescription& control = description_.Of(id);
        const std::wstring text =
            control.kind == app::ControlKind::kProgressBar ? std::wstring() : Wide(control.text);
        HWND& handle = controls_[app::IndexOf(id)];
        handle = CreateWindowExW(
            0, ClassOf(control.kind), text.c_str(), StyleOf(control), 0, 0, 0, 0, window_,
            reinterpret_cast<HMENU>(
                static_cast<INT_PTR>(kFirstControlId + static_cast<int>(app::IndexOf(id)))),
            instance, nullptr);
        if (handle == nullptr) {
            platform::win32::ThrowLastError("CreateWindow", {std::string(control.name)});
        }
        if (control.kind == app::ControlKind::kProgressBar) {
            SendMessageW(handle, PBM_SETRANGE32, 0, app::kProgressMaximum);
            SendMessageW(handle, PBM_SETPOS, 0, 0);
        }
    }
}

void Form1Window::Layout(UINT dpi, bool resize_window) {
    dpi_ = dpi;
    if (resize_window) {
        const RECT outer =
            OuterRect(Scale(description_.ClientWidthPixels(), dpi),
                      Scale(description_.ClientHeightPixels(), dpi), kWindowStyle, 0, dpi);
        const int width = outer.right - outer.left;
        const int height = outer.bottom - outer.top;
        // The design position, scaled, moved back inside the monitor's work
        // area where the larger window would stand out of it.
        POINT place{Scale(description_.design_left_twips / app::kTwipsPerPixel, dpi) + outer.left,
                    Scale(description_.design_top_twips / app::kTwipsPerPixel, dpi) + outer.top};
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetMonitorInfoW(MonitorFromPoint(place, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
            const RECT& work = monitor.rcWork;
            place.x = std::max(work.left, std::min(place.x, work.right - width));
            place.y = std::max(work.top, std::min(place.y, work.bottom - height));
        }
        SetWindowPos(window_, nullptr, place.x, place.y, width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }

    LOGFONTW message_font = MessageFont(dpi);
    const HFONT old_button_font = button_font_;
    button_font_ = CreateFontIndirectW(&message_font);
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const app::ControlDescription& control = description_.controls[i];
        const app::Rect pixels = control.Pixels();
        SetWindowPos(controls_[i], nullptr, Scale(pixels.left, dpi), Scale(pixels.top, dpi),
                     Scale(pixels.width, dpi), Scale(pixels.height, dpi),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        HFONT font = button_font_;
        if (control.font) {
            const std::wstring face = Wide(control.font->face);
            font = CreateFontW(-Scale(control.font->pixels, dpi), 0, 0, 0,
                               control.font->bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                               DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, face.c_str());
            DeleteObject(std::exchange(fonts_[i], font));
        }
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    DeleteObject(old_button_font);
}

void Form1Window::Show() {
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
    SetFocus(ControlHandle(description_.initial_focus));
}

void Form1Window::Close() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

const app::ControlDescription* Form1Window::ControlOf(HWND child) const {
    const int position = GetDlgCtrlID(child) - kFirstControlId;
    if (position < 0 || position >= static_cast<int>(app::kControlCount) ||
        controls_[static_cast<std::size_t>(position)] != child) {
        return nullptr;
    }
    return &description_.controls[static_cast<std::size_t>(position)];
}

void Form1Window::SetCaption(const std::string& caption) {
    SetWindowTextW(window_, Wide(caption).c_str());
}

void Form1Window::SetVisible(app::Control control, bool visible) {
    ShowWindow(ControlHandle(control), visible ? SW_SHOWNA : SW_HIDE);
}

void Form1Window::SetEnabled(app::Control control, bool enabled) {
    EnableWindow(ControlHandle(control), enabled ? TRUE : FALSE);
}

void Form1Window::SetBarPosition(int position) {
    SendMessageW(ControlHandle(app::Control::kProgressBar1), PBM_SETPOS,
                 static_cast<WPARAM>(position), 0);
}

LRESULT CALLBACK Form1Window::WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, w, l);
    }
    if (message == WM_NCCREATE) {
        self->window_ = window;
    } else if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    }
    return self->HandleMessage(window, message, w, l);
}

LRESULT Form1Window::HandleMessage(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(w) == BN_CLICKED) {
                const app::ControlDescription* control = ControlOf(reinterpret_cast<HWND>(l));
                if (control != nullptr && control->kind == app::ControlKind::kPushButton) {
                    Pressed(control->index);
                }
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC: {
            if (const app::ControlDescription* control = ControlOf(reinterpret_cast<HWND>(l))) {
                const HDC dc = reinterpret_cast<HDC>(w);
                SetTextColor(dc, ColourRef(control->colour));
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        }
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(l);
            SetWindowPos(window, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            Layout(HIWORD(w), false);
            return 0;
        }
        case WM_CLOSE:
            // Closing while a run is in progress would leave the instrument
            // half updated with its system folder unprotected.
            if (!CloseRequested()) {
                return 0;
            }
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            window_ = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, w, l);
}

}  // namespace velno::win32

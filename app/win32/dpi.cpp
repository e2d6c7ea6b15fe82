#include "app/win32/dpi.h"

namespace velno::win32 {

namespace {

template <typename Function>
Function User32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

UINT SystemDpi() {
    using GetDpiForSystemFunction = UINT(WINAPI*)();
    static const auto get_dpi_for_system =
        User32Function<GetDpiForSystemFunction>("GetDpiForSystem");
    if (get_dpi_for_system != nullptr) {
        return get_dpi_for_system();
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

}  // namespace

UINT DpiOf(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto get_dpi_for_window =
        User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (window != nullptr && get_dpi_for_window != nullptr) {
        if (const UINT dpi = get_dpi_for_window(window); dpi != 0) {
            return dpi;
        }
    }
    return SystemDpi();
}

RECT OuterRect(int client_width, int client_height, DWORD style, DWORD ex_style, UINT dpi) {
    using AdjustFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjust_for_dpi = User32Function<AdjustFunction>("AdjustWindowRectExForDpi");
    RECT rect{0, 0, client_width, client_height};
    if (adjust_for_dpi != nullptr) {
        adjust_for_dpi(&rect, style, FALSE, ex_style, dpi);
    } else {
        AdjustWindowRectEx(&rect, style, FALSE, ex_style);
    }
    return rect;
}

LOGFONTW MessageFont(UINT dpi) {
    using ParametersFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto parameters_for_dpi =
        User32Function<ParametersFunction>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (parameters_for_dpi != nullptr &&
        parameters_for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
        return metrics.lfMessageFont;
    }
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        metrics.lfMessageFont.lfHeight = MulDiv(
            metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
        return metrics.lfMessageFont;
    }
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    return font;
}

}  // namespace velno::win32

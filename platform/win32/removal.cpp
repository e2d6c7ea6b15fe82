// Preparing the instrument for removal as a standard user: the volume flush
// needs administrator rights, but asking the configuration manager to eject
// the instrument's device does not, and Windows writes out and dismounts
// every volume of it before it agrees.

// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>
// clang-format on

#include <chrono>
#include <future>
#include <optional>
#include <utility>
#include <vector>

#include "platform/win32/runtime.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/unique_handle.h"

namespace velno::platform::win32 {

namespace {

// The interface class of disks, GUID_DEVINTERFACE_DISK.
constexpr GUID kDiskInterface = {
    0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

// The disk a volume or disk device lies on, as its type and number; opening
// with no access at all needs no rights.
std::optional<std::pair<DEVICE_TYPE, DWORD>> DiskNumber(const std::wstring& device) {
    UniqueHandle handle(CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    if (!handle.Valid() || !DeviceIoControl(handle.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr,
                                            0, &number, sizeof number, &returned, nullptr)) {
        return std::nullopt;
    }
    return std::pair{number.DeviceType, number.DeviceNumber};
}

// The device node of the present disk with that number, 0 when none.
DEVINST DiskNode(const std::pair<DEVICE_TYPE, DWORD>& number) {
    HDEVINFO set = SetupDiGetClassDevsW(&kDiskInterface, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DEVINST node = 0;
    SP_DEVICE_INTERFACE_DATA interface_data{};
    interface_data.cbSize = sizeof interface_data;
    for (DWORD i = 0; node == 0 && SetupDiEnumDeviceInterfaces(set, nullptr, &kDiskInterface, i,
                                                               &interface_data);
         ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interface_data, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            continue;
        }
        std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof *detail;
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (SetupDiGetDeviceInterfaceDetailW(set, &interface_data, detail, size, nullptr, &info) &&
            DiskNumber(detail->DevicePath) == number) {
            node = info.DevInst;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return node;
}

// True when the configuration manager ejected the drive's device.
bool EjectDevice(const std::string& drive_path) {
    if (drive_path.size() != 2 || drive_path[1] != ':') {
        return false;
    }
    const auto number = DiskNumber(L"\\\\.\\" + Utf8ToWide(drive_path));
    const DEVINST disk = number ? DiskNode(*number) : 0;
    // The disk's parent is the USB storage device, which is what is ejected.
    DEVINST device = 0;
    if (disk == 0 || CM_Get_Parent(&device, disk, 0) != CR_SUCCESS) {
        return false;
    }
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    wchar_t veto_name[MAX_PATH] = {};
    return CM_Request_Device_EjectW(device, &veto, veto_name, MAX_PATH, 0) == CR_SUCCESS &&
           veto == PNP_VetoTypeUnknown;
}

}  // namespace

bool Win32Runtime::PrepareForRemoval(const std::string& drive_path, const ChunkCallback& waiting) {
    // The request waits until every program lets go of the device, and
    // Windows asks this program's window too: it runs on a thread of its
    // own while the window's thread keeps its turns. (A turn that throws
    // waits for the request when the future is destroyed.)
    std::future<bool> ejected = std::async(std::launch::async, EjectDevice, drive_path);
    while (ejected.wait_for(std::chrono::milliseconds(25)) != std::future_status::ready) {
        if (waiting) {
            waiting();
        }
    }
    return ejected.get();
}

}  // namespace velno::platform::win32

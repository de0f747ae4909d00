// The serial port backend for Windows: OpenLocalDevice and the thread clock.

#include "backend.h"
#include "commdevice.h"
#include "winerror.h"

#include <windows.h>

#if __has_include(<pthread.h>)
#include <pthread.h>
#endif

namespace commport::backend {

std::unique_ptr<Device> OpenLocalDevice(const std::string& path, SystemError& error)
{
    const std::string name = win::DeviceNamespacePath(path);
    // No sharing: a port another program holds is refused, and while we hold it no
    // other program gets it.
    const HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        error = SystemError{win::OpenFailureKind(code), static_cast<int>(code), win::ErrorText(code)};
        return nullptr;
    }
    // A file, a pipe or a disk is no port; nor is a character device without line
    // settings (NUL, the console). Refused here, nothing is left half-open.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetFileType(handle) != FILE_TYPE_CHAR || !::GetCommState(handle, &dcb)) {
        ::CloseHandle(handle);
        error = SystemError{CommErrorKind::NotAPort, -1, "not a serial port"};
        return nullptr;
    }
    // Reads never wait: they return at once with what is queued. Writes have no time
    // limit of their own: the component drops what the line has not taken within its
    // write time-out, whole writes at a time, where a driver's time-out would end a
    // write part way without telling which bytes went.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(handle, &timeouts)) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(handle);
        error = SystemError{CommErrorKind::Other, static_cast<int>(code), win::ErrorText(code)};
        return nullptr;
    }
    // Errors the last user left flagged would be counted as ours.
    DWORD stale = 0;
    ::ClearCommError(handle, &stale, nullptr);
    return std::make_unique<win::CommDevice>(handle);
}

std::chrono::nanoseconds ThreadCpuTime(std::thread::native_handle_type thread)
{
#if defined(__WINPTHREADS_VERSION)
    // std::thread on mingw-w64's posix thread model is a winpthreads thread.
    const HANDLE handle = static_cast<HANDLE>(::pthread_gethandle(thread));
#else
    const HANDLE handle = static_cast<HANDLE>(thread);
#endif
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!handle || !::GetThreadTimes(handle, &created, &exited, &kernel, &user))
        return {};
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    // FILETIME counts 100 ns.
    return std::chrono::nanoseconds(static_cast<long long>((ticks(kernel) + ticks(user)) * 100));
}

} // namespace commport::backend

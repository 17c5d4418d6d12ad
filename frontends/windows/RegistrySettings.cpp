#include "frontends/windows/RegistrySettings.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

namespace platform {

namespace {

// An open registry key, closed with its owner.
class Key {
public:
    Key() = default;
    ~Key() {
        if (handle_) RegCloseKey(handle_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    HKEY* out() { return &handle_; }
    HKEY get() const { return handle_; }

private:
    HKEY handle_ = nullptr;
};

std::wstring wide(std::string_view text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

std::string narrow(std::wstring_view text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

// A REG_SZ value of `size` bytes, which need not end in a null.
std::optional<std::string> readText(HKEY key, const std::wstring& name, DWORD size) {
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD type = 0;
    DWORD got = size;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    text.resize(got / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return narrow(text);
}

std::optional<StoredValue> readValue(HKEY key, std::string_view name) {
    const std::wstring wideName = wide(name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) != ERROR_SUCCESS ||
            type != REG_DWORD)
            return std::nullopt;
        return StoredValue(static_cast<uint32_t>(number));
    }
    if (type == REG_SZ) {
        if (auto text = readText(key, wideName, size)) return StoredValue(std::move(*text));
    }
    return std::nullopt;
}

LSTATUS writeValue(HKEY key, const std::wstring& name, const StoredValue& value) {
    if (const auto* number = std::get_if<uint32_t>(&value)) {
        const DWORD data = *number;
        return RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    }
    const std::wstring text = wide(std::get<std::string>(value));
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
}

std::string failed(std::string_view what, LSTATUS status) {
    return "cannot " + std::string(what) + " in HKEY_CURRENT_USER\\Software\\Quillmoor Mothwake (error " +
           std::to_string(status) + ")";
}

}  // namespace

StoredValues readRegistrySettings() {
    StoredValues values;
    Key key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settingsKeyPath, 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS) return values;
    for (const StoredName& name : storedNames())
        if (auto value = readValue(key.get(), name.name)) values.emplace(name.name, std::move(*value));
    return values;
}

std::optional<std::string> writeRegistrySettings(const StoredValues& values) {
    Key key;
    const LSTATUS opened = RegCreateKeyExW(HKEY_CURRENT_USER, settingsKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                           key.out(), nullptr);
    if (opened != ERROR_SUCCESS) return failed("open the settings", opened);
    for (const StoredName& name : storedNames()) {
        const std::wstring wideName = wide(name.name);
        const auto value = values.find(name.name);
        if (value != values.end()) {
            if (const LSTATUS status = writeValue(key.get(), wideName, value->second); status != ERROR_SUCCESS)
                return failed("write " + std::string(name.name), status);
        } else if (const LSTATUS status = RegDeleteValueW(key.get(), wideName.c_str());
                   status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            return failed("delete " + std::string(name.name), status);
        }
    }
    return std::nullopt;
}

}  // namespace platform

#include "device/port_names.hpp"

#include "core/strings.hpp"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <system_error>

#include "core/unique_fd.hpp"

namespace tracora::device {

namespace fs = std::filesystem;

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view text) {
    return TrimBlanks(text, " \t\r\n");
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return Lower(a) == Lower(b); });
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// Reads at most a few hundred bytes: sysfs attributes are short, and a fake tree may not be.
bool ReadSmallFile(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::array<char, 256> buffer{};
    in.read(buffer.data(), buffer.size());
    text.assign(buffer.data(), static_cast<std::size_t>(in.gcount()));
    return true;
}

// Product texts come from the device's own descriptors: keep them to one short line of
// printable ASCII so that no control sequence reaches a terminal or a dialog.
std::string CleanDescriptorText(std::string_view raw) {
    constexpr std::size_t kMaxLength = 80;
    const std::string_view text = Trim(raw);
    std::string clean;
    for (const char c : text.substr(0, kMaxLength)) {
        const auto byte = static_cast<unsigned char>(c);
        clean.push_back(byte >= 0x20 && byte < 0x7F ? c : '?');
    }
    return clean;
}

bool IsInside(const fs::path& dir, const fs::path& root) {
    const std::string& d = dir.native();
    const std::string& r = root.native();
    return d.size() > r.size() && d.starts_with(r) && (r.ends_with('/') || d[r.size()] == '/');
}

// The USB device a tty belongs to is a few levels above the tty's device directory (the
// interface, then the device); the first directory with a "product" file is taken.
std::string ProductName(const fs::path& sysRoot, const std::string& ttyName) {
    std::error_code ec;
    fs::path dir = fs::canonical(sysRoot / "class" / "tty" / ttyName / "device", ec);
    constexpr int kMaxLevels = 6;
    for (int level = 0; !ec && level < kMaxLevels && IsInside(dir, sysRoot); ++level) {
        std::string product;
        if (ReadSmallFile(dir / "product", product)) {
            std::string maker;
            ReadSmallFile(dir / "manufacturer", maker);
            product = CleanDescriptorText(product);
            maker = CleanDescriptorText(maker);
            if (maker.empty() || product.starts_with(maker)) {
                return product;
            }
            return product.empty() ? maker : maker + " " + product;
        }
        dir = dir.parent_path();
    }
    return {};
}

// ttyS0-3 exist on every PC whether or not a UART is there. A real one has a driver bound and,
// for the 8250 family, a port type other than PORT_UNKNOWN.
bool IsPresentLegacyPort(const fs::path& sysRoot, const std::string& ttyName,
                         const fs::path& node) {
    const fs::path ttyDir = sysRoot / "class" / "tty" / ttyName;
    std::error_code ec;
    if (!fs::exists(ttyDir / "device" / "driver", ec)) {
        return false;
    }
    std::string type;
    if (ReadSmallFile(ttyDir / "type", type)) {
        const std::string_view value = Trim(type);
        return !value.empty() && value != "0";
    }
    // Older kernels have no "type" attribute: ask the driver.
    const UniqueFd fd(::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    serial_struct info{};
    if (fd.Valid() && ::ioctl(fd.Get(), TIOCGSERIAL, &info) == 0) {
        return info.type != PORT_UNKNOWN;
    }
    return true;
}

bool IsSerialNodeName(std::string_view name) {
    for (const std::string_view prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        if (name.starts_with(prefix) && AllDigits(name.substr(prefix.size()))) {
            return true;
        }
    }
    return false;
}

template <typename Visit>
void ForEachEntry(const fs::path& dir, Visit visit) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        visit(it->path());
    }
}

}  // namespace

std::string ResolvePortName(std::string_view name, const PortTable& table) {
    name = Trim(name);
    if (name.empty()) {
        return {};
    }
    // A path, absolute or relative to the working folder ("./port" of an emulator).
    if (name.find('/') != std::string_view::npos) {
        return std::string(name);
    }
    constexpr std::string_view kDeviceNamespace = "\\\\.\\";
    if (name.starts_with(kDeviceNamespace)) {
        name.remove_prefix(kDeviceNamespace.size());
    }
    if (!StartsWithNoCase(name, "COM")) {
        return {};
    }
    const std::string_view digits = name.substr(3);
    int number = 0;
    if (!AllDigits(digits) ||
        std::from_chars(digits.data(), digits.data() + digits.size(), number).ec != std::errc() ||
        number < 1) {
        return {};
    }
    const auto entry = table.find(number);
    if (entry != table.end() && entry->second.starts_with('/')) {
        return entry->second;
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

int ListComPorts(std::vector<SerialPortInfo>& ports, const fs::path& devRoot,
                 const fs::path& sysRoot) {
    ports.clear();
    std::error_code ec;
    const fs::path dev = fs::canonical(devRoot, ec);
    if (ec) {
        return 0;
    }
    fs::path sys = fs::canonical(sysRoot, ec);
    if (ec) {
        sys = sysRoot;
    }

    std::vector<SerialPortInfo> found;
    auto entryFor = [&found](const std::string& path) -> SerialPortInfo& {
        const auto known =
            std::find_if(found.begin(), found.end(),
                         [&path](const SerialPortInfo& p) { return p.path == path; });
        if (known != found.end()) {
            return *known;
        }
        found.push_back(SerialPortInfo{path, {}, {}});
        return found.back();
    };

    ForEachEntry(dev / "serial" / "by-id", [&](const fs::path& link) {
        std::error_code linkEc;
        const fs::path target = fs::canonical(link, linkEc);  // fails for a dangling link
        if (linkEc) {
            return;
        }
        SerialPortInfo& info = entryFor(target.native());
        if (info.byIdPath.empty() || NaturalLess(link.native(), info.byIdPath)) {
            info.byIdPath = link.native();
        }
    });
    ForEachEntry(dev, [&](const fs::path& node) {
        const std::string name = node.filename().native();
        if (!IsSerialNodeName(name)) {
            return;
        }
        if (name.starts_with("ttyS") && !IsPresentLegacyPort(sys, name, node)) {
            return;
        }
        std::error_code nodeEc;
        const fs::path target = fs::canonical(node, nodeEc);
        if (!nodeEc) {
            entryFor(target.native());
        }
    });

    for (SerialPortInfo& info : found) {
        info.product = ProductName(sys, fs::path(info.path).filename().native());
    }
    std::sort(found.begin(), found.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return NaturalLess(a.path, b.path);
    });
    ports = std::move(found);
    return static_cast<int>(ports.size());
}

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::size_t runA = i;
            const std::size_t runB = j;
            while (i < a.size() && IsDigit(a[i])) {
                ++i;
            }
            while (j < b.size() && IsDigit(b[j])) {
                ++j;
            }
            // Compare the values without converting (runs may be longer than any integer).
            std::string_view digitsA = a.substr(runA, i - runA);
            std::string_view digitsB = b.substr(runB, j - runB);
            const std::string_view fullA = digitsA;
            const std::string_view fullB = digitsB;
            while (digitsA.size() > 1 && digitsA.front() == '0') {
                digitsA.remove_prefix(1);
            }
            while (digitsB.size() > 1 && digitsB.front() == '0') {
                digitsB.remove_prefix(1);
            }
            if (digitsA.size() != digitsB.size()) {
                return digitsA.size() < digitsB.size();
            }
            if (digitsA != digitsB) {
                return digitsA < digitsB;
            }
            // Equal values: fewer leading zeros first, so the order stays strict.
            if (fullA.size() != fullB.size()) {
                return fullA.size() < fullB.size();
            }
            continue;
        }
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca != cb) {
            return ca < cb;
        }
        ++i;
        ++j;
    }
    return (a.size() - i) < (b.size() - j);
}

}  // namespace tracora::device

// REGEDIT4 text: the form in which tests and tools seed the registry and in
// which a shared machine keeps it on disk.
//
//   REGEDIT4
//   [HKEY_LOCAL_MACHINE\software\Greyfell\VI4\Settings]
//   "UIL"="C:\\Program Files\\Nullmark"
//   "ADM"=hex:ff,ff,ff,ff
//   "PP"=dword:00000000
//   "X"=hex(7):41,00,00          (any other type)
//   "Gone"=-                     (deletes the value)
//   [-HKEY_LOCAL_MACHINE\software\Old]   (deletes the key and all below it)
//
// A line that ends in a backslash continues on the next one.
#include <cctype>
#include <cstdio>

#include <cstring>
#include "registry.h"
#include "registry_store.h"

namespace hostwin::detail {
namespace {

struct RootAlias {
    const char* name;
    RegRoot root;
};
constexpr RootAlias kRoots[] = {
    {"HKEY_LOCAL_MACHINE", RegRoot::LocalMachine}, {"HKLM", RegRoot::LocalMachine},
    {"HKEY_CURRENT_USER", RegRoot::CurrentUser},   {"HKCU", RegRoot::CurrentUser},
    {"HKEY_CLASSES_ROOT", RegRoot::ClassesRoot},   {"HKCR", RegRoot::ClassesRoot},
    {"HKEY_USERS", RegRoot::Users},                {"HKU", RegRoot::Users},
};

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return std::string(s.substr(b, e - b));
}

// Joins continuation lines and drops comments and blank lines.
std::vector<std::string> LogicalLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        // Only hex data is continued: key lines end in ']' and strings in '"'.
        const bool continues = !line.empty() && line.back() == '\\';
        if (continues) {
            line.pop_back();
            current += line;
            continue;
        }
        current += line;
        if (!current.empty() && current[0] != ';')
            lines.push_back(current);
        current.clear();
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

bool ParseQuoted(std::string_view s, size_t* pos, std::string* out) {
    if (*pos >= s.size() || s[*pos] != '"')
        return false;
    ++*pos;
    out->clear();
    while (*pos < s.size()) {
        char c = s[(*pos)++];
        if (c == '"')
            return true;
        if (c == '\\' && *pos < s.size())
            c = s[(*pos)++];
        out->push_back(c);
    }
    return false;
}

bool ParseHexBytes(std::string_view s, std::vector<BYTE>* out) {
    out->clear();
    std::string digits;
    for (char c : s) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits.push_back(c);
        } else if (c == ',') {
            if (digits.empty() || digits.size() > 2)
                return false;
            out->push_back(static_cast<BYTE>(std::stoul(digits, nullptr, 16)));
            digits.clear();
        } else if (!std::isspace(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    if (!digits.empty()) {
        if (digits.size() > 2)
            return false;
        out->push_back(static_cast<BYTE>(std::stoul(digits, nullptr, 16)));
    }
    return true;
}

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

void AppendHex(std::string* out, const std::string& prefix, const std::vector<BYTE>& data) {
    std::string line = prefix;
    for (size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        line += byte;
        if (i + 1 < data.size()) {
            line += ',';
            if (line.size() > 76) {  // regedit wraps long values the same way
                *out += line + "\\\r\n";
                line = "  ";
            }
        }
    }
    *out += line + "\r\n";
}

void ExportNode(const RegNode& node, const std::string& path, std::string* out) {
    *out += "[" + path + "]\r\n";
    for (const RegValue& v : node.values) {
        const std::string name = v.name.empty() ? "@" : "\"" + Escape(v.name) + "\"";
        const bool plainString = v.type == REG_SZ && !v.data.empty() && v.data.back() == 0 &&
                                 std::memchr(v.data.data(), 0, v.data.size() - 1) == nullptr;
        if (plainString) {
            *out += name + "=\"" + Escape(std::string(v.data.begin(), v.data.end() - 1)) + "\"\r\n";
        } else if (v.type == REG_DWORD && v.data.size() == 4) {
            char text[16];
            const DWORD d = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<DWORD>(v.data[3]) << 24;
            std::snprintf(text, sizeof text, "%08x", d);
            *out += name + "=dword:" + text + "\r\n";
        } else if (v.type == REG_BINARY) {
            AppendHex(out, name + "=hex:", v.data);
        } else {
            char type[16];
            std::snprintf(type, sizeof type, "%x", v.type);
            AppendHex(out, name + "=hex(" + type + "):", v.data);
        }
    }
    *out += "\r\n";
    for (const auto& sub : node.subkeys)
        ExportNode(*sub, path + "\\" + sub->name, out);
}

}  // namespace

const char* RootName(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
        case RegRoot::CurrentUser: return "HKEY_CURRENT_USER";
        case RegRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
        case RegRoot::Users: return "HKEY_USERS";
    }
    return "";
}

bool ParseRootName(std::string_view name, RegRoot* root, std::vector<std::string>* path) {
    std::vector<std::string> parts = SplitKeyPath(name);
    if (parts.empty())
        return false;
    for (const RootAlias& alias : kRoots) {
        if (SameName(parts[0], alias.name)) {
            *root = alias.root;
            path->assign(parts.begin() + 1, parts.end());
            return true;
        }
    }
    return false;
}

bool ImportRegText(std::string_view text, std::string* error) {
    RegistryStore& store = RegistryStore::Get();
    std::lock_guard lock(store.mutex);
    std::vector<std::string> lines = LogicalLines(text);
    if (lines.empty() || (lines[0] != "REGEDIT4" && lines[0] != "Windows Registry Editor Version 5.00")) {
        *error = "not a registry file: the first line must be REGEDIT4";
        return false;
    }
    RegNode* key = nullptr;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.front() == '[') {
            if (line.back() != ']') {
                *error = "bad key line: " + line;
                return false;
            }
            const bool remove = line.size() > 2 && line[1] == '-';
            RegRoot root;
            std::vector<std::string> path;
            if (!ParseRootName(line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2)), &root, &path)) {
                *error = "unknown root key: " + line;
                return false;
            }
            if (remove) {
                key = nullptr;
                if (path.empty())
                    continue;
                const std::string last = path.back();
                path.pop_back();
                if (RegNode* holder = store.Resolve(root, path))
                    holder->RemoveSubkey(last);
                continue;
            }
            key = store.Resolve(root, path, true);
            continue;
        }
        if (key == nullptr) {
            *error = "value outside a key: " + line;
            return false;
        }
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, &pos, &name)) {
            *error = "bad value name: " + line;
            return false;
        }
        if (pos >= line.size() || line[pos] != '=') {
            *error = "missing '=': " + line;
            return false;
        }
        const std::string rhs = Trim(std::string_view(line).substr(pos + 1));
        if (rhs == "-") {
            key->RemoveValue(name);
        } else if (!rhs.empty() && rhs[0] == '"') {
            std::string value;
            size_t vpos = 0;
            if (!ParseQuoted(rhs, &vpos, &value)) {
                *error = "bad string value: " + line;
                return false;
            }
            std::vector<BYTE> data(value.begin(), value.end());
            data.push_back(0);
            key->SetValue(name, REG_SZ, std::move(data));
        } else if (rhs.rfind("dword:", 0) == 0 && rhs.size() == 14) {
            const DWORD d = static_cast<DWORD>(std::stoul(rhs.substr(6), nullptr, 16));
            key->SetValue(name, REG_DWORD,
                          {static_cast<BYTE>(d), static_cast<BYTE>(d >> 8), static_cast<BYTE>(d >> 16),
                           static_cast<BYTE>(d >> 24)});
        } else if (rhs.rfind("hex", 0) == 0) {
            DWORD type = REG_BINARY;
            size_t colon = rhs.find(':');
            if (colon == std::string::npos) {
                *error = "bad hex value: " + line;
                return false;
            }
            if (rhs[3] == '(') {
                const size_t close = rhs.find(')');
                if (close == std::string::npos || close > colon) {
                    *error = "bad hex type: " + line;
                    return false;
                }
                type = static_cast<DWORD>(std::stoul(rhs.substr(4, close - 4), nullptr, 16));
            }
            std::vector<BYTE> data;
            if (!ParseHexBytes(std::string_view(rhs).substr(colon + 1), &data)) {
                *error = "bad hex bytes: " + line;
                return false;
            }
            key->SetValue(name, type, std::move(data));
        } else {
            *error = "unknown value form: " + line;
            return false;
        }
    }
    return true;
}

std::string ExportRegText(RegRoot root, const std::vector<std::string>& path) {
    RegistryStore& store = RegistryStore::Get();
    std::lock_guard lock(store.mutex);
    std::string out = "REGEDIT4\r\n\r\n";
    const RegNode* node = store.Resolve(root, path);
    if (node == nullptr)
        return out;
    std::string name = RootName(root);
    for (const auto& part : path)
        name += "\\" + part;
    ExportNode(*node, name, &out);
    return out;
}

}  // namespace hostwin::detail

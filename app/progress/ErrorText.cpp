#include "ErrorText.h"

#include <regex>
#include <string>
#include <vector>

#include "common/IntToString.h"
#include "common/StringConvert.h"
#include "windows/ErrorMsg.h"

UString HResultToMessage(HRESULT errorCode) {
    if (errorCode == E_OUTOFMEMORY) return UString(L"系统无法分配所需内存");
    // Opening says "not this format" with S_FALSE; read as an errno it would be EPERM.
    if (errorCode == S_FALSE) return UString(L"无法作为压缩包打开文件");
    return NWindows::NError::MyFormatMessage((UInt32)errorCode);
}

namespace {

// The engine words its refusals in English; the window speaks Chinese. {n} stands for a part the
// engine fills in (a format name); whatever follows the text (a name, a path) is kept as it is.
const struct {
    const wchar_t *english;
    const wchar_t *chinese;
} kEngineTexts[] = {
    {L"An item of the new name is already in the archive; choose another name:",
     L"压缩包中已有同名项目，请换一个名称："},
    {L"An item of this name is already in the archive; choose another name: ", L"压缩包中已有同名项目，请换一个名称："},
    {L"The new name would leave the archive's root; choose a name inside the archive:",
     L"新名称超出了压缩包的根目录，请换一个压缩包内的名称："},
    {L"The name cannot be used inside the archive (it must not be empty, \".\" or \"..\", or contain '/'): ",
     L"该名称不能用于压缩包内（不能为空、\".\"或\"..\"，也不能含有\"/\"）："},
    {L"Cannot replace the archive; it is unchanged: ", L"无法替换压缩包，压缩包未改动："},
    {L"The archive cannot be moved into itself: ", L"不能把压缩包移入它自身："},
    {L"A compressed tar ({0}) cannot be updated: extract it, change the files and compress them into a new archive",
     L"压缩的 tar 包（{0}）不能更新：请先解压，修改文件后再压缩成新的压缩包"},
    {L"The archive is a {0} compressed with {1}, which cannot be updated in place: update the {0} archive first, "
     L"then compress it into {1}",
     L"该压缩包是用 {1} 压缩的 {0}，不能直接更新：请先更新 {0} 压缩包，再把它压缩成 {1}"},
    {L"The archive's name asks for a tar compressed with {0}, but the input is not a tar: create a .tar archive "
     L"first, then compress the .tar file into {0}",
     L"压缩包的名称要求用 {0} 压缩的 tar，但输入的不是 tar：请先创建 .tar 压缩包，再把 .tar 文件压缩成 {0}"},
    {L"A {0} file holds one file only, not folders or several files: create a .tar archive first, then compress the "
     L".tar file into {0}",
     L"{0} 文件只能容纳一个文件，不能容纳文件夹或多个文件：请先创建 .tar 压缩包，再把 .tar 文件压缩成 {0}"},
    {L"A {0} archive cannot be protected with a password here: choose zip to encrypt the archive",
     L"{0} 压缩包不能在这里设置密码：请选择 zip 来加密压缩包"},
    {L"Updating for multivolume archives is not implemented", L"不支持更新分卷压缩包"},
    {L"There is some data block after the end of the archive", L"压缩包结尾之后还有数据"},
    {L"There are unclosed input file:", L"有未关闭的输入文件："},
    {L"Duplicate filename in archive:", L"压缩包中有重复的文件名："},
    {L"Duplicate filename on disk:", L"磁盘上有重复的文件名："},
    {L"Internal file name collision (file on disk, file in archive):", L"文件名冲突（磁盘上的文件，压缩包中的文件）："},
    {L"Can not create output directory: ", L"无法创建输出文件夹："},
    {L"Can not create file with auto name", L"无法以自动命名创建文件"},
    {L"Can not rename existing file", L"无法重命名已有的文件"},
    {L"Can not delete output folder", L"无法删除输出文件夹"},
    {L"Can not delete output file", L"无法删除输出文件"},
    {L"Can not open output file", L"无法打开输出文件"},
    {L"Can not create hard link", L"无法创建硬链接"},
    {L"Can not create symbolic link", L"无法创建符号链接"},
    {L"Hard link target is not a file extracted from this archive", L"硬链接的目标不是从本压缩包提取的文件"},
    {L"SFX file is not specified", L"未指定自解压模块"},
    {L"Scanning error", L"扫描出错"},
    {L"No files were found to add", L"找不到要添加的文件"},
    {L"The file already exists", L"文件已存在"},
    {L"Unknown error", L"未知错误"},
    {L"Unknown warning", L"未知警告"},
    {L"WARNING: ", L"警告："},
    {L"ERROR: ", L"错误："},
    {L"Error: ", L"错误："},
};

struct CEngineText {
    std::wregex pattern;
    std::wstring chinese;
};

std::wstring EscapeForRegex(const std::wstring &s) {
    static const std::wstring kSpecial = L"\\^$.|?*+()[]{}";
    std::wstring out;
    for (wchar_t c : s) {
        if (kSpecial.find(c) != std::wstring::npos) out += L'\\';
        out += c;
    }
    return out;
}

// "{0}" the first time is a group, later times the same text again.
std::vector<CEngineText> MakeEngineTexts() {
    std::vector<CEngineText> list;
    for (const auto &t : kEngineTexts) {
        const std::wstring english(t.english);
        std::wstring pattern = L"^";
        bool seen[10] = {};
        int groups = 0, groupOf[10] = {};
        size_t pos = 0;
        for (;;) {
            const size_t open = english.find(L'{', pos);
            if (open == std::wstring::npos || open + 2 >= english.size() || english[open + 2] != L'}') {
                pattern += EscapeForRegex(english.substr(pos));
                break;
            }
            pattern += EscapeForRegex(english.substr(pos, open - pos));
            const int n = english[open + 1] - L'0';
            if (!seen[n]) {
                seen[n] = true;
                groupOf[n] = ++groups;
                pattern += L"(.+?)";
            } else {
                pattern += L"\\" + std::to_wstring(groupOf[n]);
            }
            pos = open + 3;
        }
        pattern += L"([\\s\\S]*)$";
        std::wstring chinese(t.chinese);
        for (int n = 0; n < 10; n++) {
            if (!seen[n]) continue;
            const std::wstring mark = L"{" + std::to_wstring(n) + L"}";
            const std::wstring ref = L"$" + std::to_wstring(groupOf[n]);
            for (size_t at = chinese.find(mark); at != std::wstring::npos; at = chinese.find(mark, at + ref.size()))
                chinese.replace(at, mark.size(), ref);
        }
        chinese += L"$" + std::to_wstring(groups + 1);
        list.push_back({std::wregex(pattern), chinese});
    }
    return list;
}

} // namespace

UString EngineMessageText(const UString &message) {
    static const std::vector<CEngineText> texts = MakeEngineTexts();
    if (message.IsEmpty()) return message;
    const std::wstring s(message.Ptr(), message.Len());
    for (const CEngineText &t : texts) {
        if (!std::regex_match(s, t.pattern)) continue;
        // Texts may nest ("Error: " around another refusal): the rest is translated too.
        std::wsmatch m;
        std::regex_match(s, m, t.pattern);
        std::wstring out = m.format(t.chinese, std::regex_constants::format_default);
        const std::wstring rest = m[m.size() - 1].str();
        if (!rest.empty()) {
            const UString tail = EngineMessageText(UString(rest.c_str()));
            out = out.substr(0, out.size() - rest.size()) + std::wstring(tail.Ptr(), tail.Len());
        }
        return UString(out.c_str());
    }
    return message;
}

UString CurrentExceptionText() {
    try {
        throw;
    } catch (const wchar_t *s) {
        return UString(s ? s : L"");
    } catch (const UString &s) {
        return s;
    } catch (const char *s) {
        return MultiByteToUnicodeString(AString(s ? s : ""));
    } catch (int n) {
        wchar_t digits[16];
        ConvertUInt32ToString((UInt32)n, digits);
        UString text(L"Error #");
        text += digits;
        return text;
    } catch (...) {
        return UString(L"Error");
    }
}

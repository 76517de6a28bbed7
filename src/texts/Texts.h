// Every text the user sees, in one place. UTF-8, Simplified Chinese.
// The first group are the tool's fixed texts and must stay exactly as they are.
// The command line's texts are in Chinese and English: a terminal or a script that reads
// them may not show Chinese.
#pragma once

#include <string_view>

namespace gridmoor::texts {

// --- fixed texts ---
inline constexpr std::string_view kNoWorkbook = "没有打开Excel工作簿！";
inline constexpr std::string_view kMergeBadAddress = "请输入正确单元格地址，例如B2:B8，A3:F3";
inline constexpr std::string_view kNoSheetName =
    "没有获得工作表名称，请刷新试试。如果还不正常，请重新打开本程序及Excle再试";
inline constexpr std::string_view kScratchNotCreated = "创建临时工作表出错！";
inline constexpr std::string_view kMergeDone = "已完成单元格合并！";
inline constexpr std::string_view kUnmergeBadAddress =
    "请输入类别标题单元格地址，例如B2:B15或者A2:D2格式";
inline constexpr std::string_view kUnmergeDone = "已取消单元格合并！";
inline constexpr std::string_view kScratchSheetName = "合并临时单元格";
inline constexpr std::string_view kWorkbookLinePrefix = "当前工作簿名称: ";
inline constexpr std::string_view kSheetLinePrefix = "当前工作表名称: ";

// --- the window ---
inline constexpr std::string_view kCaption = "Gridmoor--智能合并单元格";
inline constexpr std::string_view kMessageTitle = "Gridmoor";
inline constexpr std::string_view kCommand2 = "刷新";
inline constexpr std::string_view kCommand3 = "智能合并单元格";
inline constexpr std::string_view kCommand4 = "撤销合并单元格";
inline constexpr std::string_view kLabel3 =
    "输入单元格范围，仅支持单行或单列的数据，例如B1:B10，A5:F5";
inline constexpr std::string_view kFontName = "微软雅黑";

// --- why a command did not do its work ---
// Smart merge: the whole message is kMergeNothing followed by one reason.
inline constexpr std::string_view kMergeNothing = "未合并任何单元格：";
// Smart merge that merged, but where some neighbours could not be merged.
inline constexpr std::string_view kMergePartly = "部分相同的相邻单元格未能合并：";
// Smart merge whose changes the application could not confirm as made (it went away, or
// refused to close the command's undo step): followed by one reason.
inline constexpr std::string_view kMergeUnconfirmed = "合并可能没有全部完成，请检查工作表：";
// Unmerge and fill stopped part way: kUnmergeStopped followed by one reason.
inline constexpr std::string_view kUnmergeStopped = "撤销合并在中途停止，已处理的单元格保持现状：";

inline constexpr std::string_view kReasonBadAddress = "无法识别输入的单元格地址。";
inline constexpr std::string_view kReasonNotLine =
    "只支持单行或单列的连续区域（不支持多行多列、整列、多个整行或多个区域）。";
inline constexpr std::string_view kReasonProtected = "工作表或工作簿受保护。";
inline constexpr std::string_view kReasonGone = "Excel已关闭或没有响应。";
inline constexpr std::string_view kReasonBusy = "Excel正忙（可能正在编辑单元格），请稍后再试。";
inline constexpr std::string_view kReasonNotFound = "找不到所需的工作表或单元格。";
inline constexpr std::string_view kReasonErrorValue = "单元格中含有错误值。";
inline constexpr std::string_view kReasonOther = "Excel拒绝了操作。";
// Something other than a refusal of the application stopped a command (such as memory
// running out); also shown alone when a refresh is stopped that way.
inline constexpr std::string_view kReasonUnexpected = "本程序出现意外错误，操作未完成。";

// --- the command line (gridmoor --help) and the program file's description ---
// What the program does: one line in Chinese, one in English.
inline constexpr std::string_view kAbout =
    "在正在运行的电子表格中智能合并相同的相邻单元格，或撤销合并并填充空白单元格。\n"
    "Merges equal neighbouring cells in the running spreadsheet, keeping every value, or "
    "unmerges them and fills the blanks.";
inline constexpr std::string_view kUsageLabel = "用法 / Usage";
inline constexpr std::string_view kOptionPlaceholder = "[选项 / option]";
inline constexpr std::string_view kOptionsLabel = "选项 / Options";
inline constexpr std::string_view kHelpOption = "显示本帮助并退出 / show this help and exit";
inline constexpr std::string_view kVersionOption = "显示版本并退出 / show the version and exit";
inline constexpr std::string_view kNoOption =
    "不带选项时打开本程序的窗口。/ Without an option, the window opens.";
// Followed by the argument, quoted.
inline constexpr std::string_view kUnknownOption = "无法识别的选项 / unknown option";
inline constexpr std::string_view kNoArguments = "本程序不接受参数 / takes no arguments, got";
// The description in gridmoor.exe's version information (the file's properties in
// Explorer). Read from here when the resource is generated: keep it on one line, without
// double quotes.
inline constexpr std::string_view kFileDescription = "Gridmoor 智能合并单元格 / smart cell merging";

}  // namespace gridmoor::texts

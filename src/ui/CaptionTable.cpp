#include "ui/CaptionTable.h"

#include <array>

#include "core/AppState.h"

namespace mzr {

namespace {

struct Row {
  int row;
  const char* chinese;
  const char* english;
};

// Texts are used exactly as stored: their blanks pad captions to a width.
constexpr Row kRows[] = {
    {0, "MZR4700 数字影院音频处理器控制软件  版权所有  V",
     "MZR4700 Digital Cinema Audio Processor Control  All Rights Reserved  V"},
    // Window menus.
    {1, "  文件  ", "  File  "},
    {2, "新建项目", "New Project"},
    {3, "打开项目", "Open Project"},
    {4, "保存项目", "Save Project"},
    {5, "另存为  ", "Save as..."},
    {6, "读取设备数据", "Load From MZR4700"},
    {7, "下载设备数据", "Download To MZR4700"},
    {9, "  格式  ", "  Format  "},
    {10, "数字光纤1", "Digital Opt 1"},
    {11, "数字光纤2", "Digital Opt 2"},
    {12, "数字同轴1", "Digital COAX 1"},
    {13, "数字同轴2", "Digital COAX 2"},
    {14, "麦克风", "MIC"},
    {15, "EQ参数", "   EQ   "},
    {16, "复制EQ", "Copy EQ..."},
    {18, " 通讯 ", "  Communication  "},
    {20, "连接设备", "Connect"},
    {21, "断开设备", "DisConnect"},
    {23, "开机格式", "  Power on Format  "},
    {24, "数字光纤1", "Digital OPT 1"},
    {25, "数字光纤2", "Digital OPT 2"},
    {26, "数字同轴1", "Digital COAX 1"},
    {27, "数字同轴2", "Digital COAX 2"},
    {28, "麦克风", "MIC"},
    {29, "保持上次", "Last Selected"},
    {30, "  概要文件  ", "  Profile  "},
    {31, "语言", "Language"},
    // Input drawer, input selector and master row.
    {32, "格式（输入设置）", "Format(Input Setup)"},
    {33, "预设值", "Preset"},
    {34, "数字光纤1输入", "Digital OPT 1"},
    {35, "数字光纤2输入", "Digital OPT 2"},
    {36, "数字同轴1输入", "Digital COAX 1"},
    {37, "数字同轴2输入", "Digital COAX 2"},
    {38, "麦克风输入", "MIC"},
    {42, "中置", "Center"},
    {43, "环绕", "Surr"},
    // Output drawer.
    {44, "输出设置", "Output Setup"},
    {45, " 左            中              右            左环绕         右环绕         次低频",
     "Left          Center          Right            SL             SR             SW  "},
    {46, "正相", "Normal"},
    {47, "反相", "Invert"},
    {48, "静音", " Mute "},
    {49, "粉红噪声", "Pink"},
    {50, "信号发生器", "Signal Generator"},
    // Channel pages.
    {51, "    左    ", "Left"},
    {52, "    中    ", "Center"},
    {53, "    右    ", "Right"},
    {54, "  左环绕  ", "Left Surround"},
    {55, "  右环绕  ", "Right Surround"},
    {58, "  次低频  ", "Subwoofer"},
    {59, "粉红噪声", "Pink Noise"},
    {60, "平直", "Flat"},
    {61, "低音", "Bass"},
    {62, "高音", "Treble"},
    {63, "低音折转频率", "Bass Freq"},
    {64, "高音折转频率", "Treble Freq"},
    {65, "主音量", "Main Fader"},
    {66, "淡入淡出1秒", "Fade Time 1S"},
    {67, "淡入淡出2秒", "Fade Time 2S"},
    {68, "淡入淡出3秒", "Fade Time 3S"},
    {69, "淡入淡出4秒", "Fade Time 4S"},
    {70, "淡入淡出5秒", "Fade Time 5S"},
    {71, "淡入淡出6秒", "Fade Time 6S"},
    {72, "淡入淡出7秒", "Fade Time 7S"},
    {73, "淡入淡出8秒", "Fade Time 8S"},
    {74, "淡入淡出9秒", "Fade Time 9S"},
    {75, "淡入淡出10秒", "Fade Time 10S"},
    // EQ copy dialog.
    {82, "左", "Left"},
    {83, "中", "Center"},
    {84, "右", "Right"},
    {85, "左环绕", "Left Surround"},
    {86, "右环绕", "Right Surround"},
    {89, "复制到 >>>", "Copy To ..."},
    {90, "复制EQ参数", "Copy EQ Settings"},
    // Theater profile dialog.
    {91, "概述文件", "Profile"},
    {92, "数字播放器1:", "Digital Player1:"},
    {93, "数字播放器2:", "Digital Player2:"},
    {94, "项目名称:", "Project Name:"},
    {95, "剧场名:", "Theater Name:"},
    {96, "屏幕号:", "Screen Number:"},
    {97, "放映机型号:", "Projector Model Number:"},
    {98, "自动化系统:", "Automation System:"},
    {99, "备注:", "Comments:"},
    {100, "剧院信息:", "Theater Information:"},
    {101, "设备信息:", "Component Information:"},
    {102, "设备型号:", "Component Model:"},
    {103, "设备序列号:", "Serial Number:"},
    {104, "固件版本:", "Firmware VER:"},
    {105, "固件发布:", "Firmware Date:"},
    // Subwoofer panel.
    {112, "低通滤波", "LPF"},
    {113, "斜率", "dB/Oct"},
    {117, "重新启动设备", "Restart MZR4700"},
    {118, " 监听输出 ", "Monitor"},
    {119, " 主音箱 ", " SPEAKER PARA "},
    // Device list drawer.
    {121, "IP", "IP"},
    {122, "子网掩码", "Subnet Mask"},
    {123, "网关", "Gateway"},
    {124, "连接所选设备", "Connect Equipment"},
    {125, "返回", "Return"},
    {126, "修改设备网络参数", "Modify NET Info"},
    {127, "设备列表", "Equipment List"},
    {128, "电影厅名称", "Theater Name"},
    {129, "银幕号", "Screen Number"},
    {130, "设备型号", "EQU Model"},
    // Undo and redo (File menu).
    {131, "撤销", "Undo"},
    {132, "重做", "Redo"},
    // Compare (File menu and its dialog).
    {133, "比较...", "Compare..."},
    // The questions about unsaved work: %1 is the project file's name.
    {134, "项目 %1 有未保存的修改。是否保存？", "The project %1 has changes that are not saved. Save them?"},
    {135, "设备中有尚未存储的修改，断电后会丢失。现在存入设备吗？",
     "The unit holds edits it has not stored; a power cut would lose them. Store them in the unit now?"},
    {136, "保存", "Save"},
    {137, "不保存", "Don't Save"},
    {138, "取消", "Cancel"},
    {139, "存入设备", "Store"},
    {140, "不存入", "Don't Store"},
    // Status bar: edits sent to the unit that it has not stored.
    {141, "设备未存储", "Not stored in unit"},
    // Compare dialog.
    {142, "比较", "Compare"},
    {143, "与文件比较...", "With File..."},
    {144, "与设备比较", "With Unit"},
    {145, "没有差异", "No differences"},
    {146, "本窗口 -> %1", "This window -> %1"},
    {147, "设备", "unit"},
    {148, "读取设备...", "Reading the unit..."},
    {149, "设备没有应答", "The unit did not answer"},
    {150, "无法读取文件: %1", "Cannot read the file: %1"},
    // Room alignment (EQ menu and its dialog).
    {151, "房间均衡对准...", "Align to Target..."},
    {152, "房间均衡对准 - %1", "Room Alignment - %1"},
    {153, "添加测量文件...", "Add Measurements..."},
    {154, "清除", "Clear"},
    {155, "目标曲线", "Target"},
    {156, "X 曲线", "X-curve"},
    {157, "小厅 X 曲线", "Small-room X-curve"},
    {158, "平直", "Flat"},
    {159, "应用", "Apply"},
    {160, "报告...", "Report..."},
    {161, "关闭", "Close"},
    {162, "频点", "Band"},
    {163, "测量偏差 dB", "Measured dB"},
    {164, "增益 dB", "Gain dB"},
    {165, "预测偏差 dB", "Predicted dB"},
    {166, "容差", "Tolerance"},
    {167, "合格", "in"},
    {168, "超出", "out"},
    {169, "把测量文件拖到这里或点 添加测量文件 (文本导出, .frd, CSV, 1/3 倍频程读数)",
     "Drop measurement files here or use Add Measurements (text export, .frd, CSV, one-third-octave readings)"},
    {170, "%1 个测量位置, %2 - %3 Hz; 均方根偏差 %4 dB -> %5 dB", "%1 positions, %2 to %3 Hz; RMS deviation %4 dB -> %5 dB"},
    {171, "已应用 %1 处修改 (撤销: Ctrl+Z)", "Applied %1 changes (Undo: Ctrl+Z)"},
    {172, "报告已写入 %1", "Report written to %1"},
    {173, "无法写入报告: %1", "Cannot write the report: %1"},
    {174, "测量位置", "positions"},
    {175, "平均", "average"},
    {176, "目标与容差", "target and tolerance"},
    {177, "预测结果", "predicted"},
    {178, "监听通道没有可对准的均衡", "The monitor mix has no equalizer to align"},
};

constexpr const char* kGeneratorNames[CaptionTable::kLanguageCount][CaptionTable::kGeneratorCount] = {
    {"粉红噪声", "120Hz", "500Hz", "1KHz", "5KHz", "10KHz"},
    {"Pink", "120Hz", "500Hz", "1KHz", "5KHz", "10KHz"},
};

using Table = std::array<std::array<QString, CaptionTable::kLanguageCount>, CaptionTable::kRowCount>;

const Table& TheTable() {
  static const Table table = [] {
    Table t;
    for (const Row& r : kRows) {
      t[static_cast<std::size_t>(r.row)][0] = QString::fromUtf8(r.chinese);
      t[static_cast<std::size_t>(r.row)][1] = QString::fromUtf8(r.english);
    }
    return t;
  }();
  return table;
}

bool ValidLanguage(int language) { return language >= 0 && language < CaptionTable::kLanguageCount; }

}  // namespace

QString CaptionTable::Text(int row, int language) {
  if (row < 0 || row >= kRowCount || !ValidLanguage(language)) return {};
  return TheTable()[static_cast<std::size_t>(row)][static_cast<std::size_t>(language)];
}

QString CaptionTable::GeneratorName(int language, int type) {
  if (type < 0 || type >= kGeneratorCount || !ValidLanguage(language)) return {};
  return QString::fromUtf8(kGeneratorNames[language][type]);
}

int CaptionLanguage(const AppState& state) { return state.languageIndex == 1 ? 1 : 0; }

QString Caption(const AppState& state, int row) { return CaptionTable::Text(row, CaptionLanguage(state)); }

QString Caption(const AppState& state, const char* chinese, const char* english) {
  return QString::fromUtf8(CaptionLanguage(state) == 1 ? english : chinese);
}

QString GeneratorCaption(const AppState& state, int type) {
  return CaptionTable::GeneratorName(CaptionLanguage(state), type);
}

}  // namespace mzr

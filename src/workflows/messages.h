// The texts that the program tells and asks its user, in UTF-8. The windows show them in
// the message box, the command-line client prints them; the server's result codes have
// their own texts (net/result_codes.h).
#pragma once

#include <string>
#include <string_view>

namespace kavo::msg {

// A message with its one "%s" filled in by `value`, which may hold any text ("%" too).
inline std::string FillIn(const char* format, std::string_view value) {
    const std::string_view text(format);
    const std::size_t at = text.find("%s");
    if (at == std::string_view::npos) return std::string(text);
    std::string out(text.substr(0, at));
    out += value;
    out += text.substr(at + 2);
    return out;
}

inline constexpr const char* kCaption = "Tavrin-手机管家";

// Login and registration.
inline constexpr const char* kEnterUserName = "请输入用户名";
inline constexpr const char* kEnterPassword = "请输入密码";
inline constexpr const char* kUserLoggedInElsewhere = "当前用户名已在系统其它进程中被登录使用";
inline constexpr const char* kAskOfflineLogin = "是否离线登录?";
inline constexpr const char* kReadingData = "数据正在读取中，请稍候...";
inline constexpr const char* kNoNetwork = "无法连接网络，请检查网络是否连接好然后再试";

// Store and restore.
inline constexpr const char* kUploadProgress = "正在上传联系人信息，已上传%d";
inline constexpr const char* kRestoreProgress = "正在还原联系人信息，已还原%d";
inline constexpr const char* kStoreDone = "储存通讯录完成!";
inline constexpr const char* kRestoreDone = "还原通讯录完成!";
inline constexpr const char* kAskDownloadContacts = "是否下载联系人信息?";
inline constexpr const char* kAskUploadChanged = "联系人信息已改变，是否上传？";
// Our own: a merge, import or restore that did not store everything it read.
inline constexpr const char* kStoredPartly = "只保存了%d个联系人(共%d个)，原因：%s";
inline constexpr const char* kFaultDiskFull = "磁盘空间已满";
inline constexpr const char* kFaultReadOnly = "本地数据库是只读的，无法写入";
inline constexpr const char* kFaultBusy = "本地数据库正被其它程序占用";
inline constexpr const char* kFaultDamaged = "本地数据库已损坏";
inline constexpr const char* kFaultIoError = "读写本地数据库时磁盘出错";
inline constexpr const char* kFaultOther = "写入本地数据库失败";
// Our own: the local database failed its integrity check.
inline constexpr const char* kDatabaseDamaged = "本地数据库已损坏(%s)";
inline constexpr const char* kStoreRefusedDamaged =
    "本地数据库已损坏，为免损坏的通讯录覆盖服务器上的通讯录，本次不上传!";
inline constexpr const char* kStoreRefusedUnreadable =
    "无法完整读取本地通讯录(%s)，为免覆盖服务器上的通讯录，本次不上传!";
// Follows kDatabaseDamaged on a line of its own.
inline constexpr const char* kAskRestoreDamaged =
    "是否将它另存为备份，并在登录后从服务器还原通讯录?";
inline constexpr const char* kDamagedSetAside = "损坏的数据库已另存为：%s";
inline constexpr const char* kDamagedNotMoved = "无法另存损坏的数据库，请检查程序目录后再试!";
// Our own: a store that would shrink the server's address book sharply asks first.
inline constexpr const char* kAskReplaceServerBook =
    "是否用本地的%d个联系人替换服务器上的%d个联系人?";

// The main window.
inline constexpr const char* kSearchPlaceholder = "---请输入搜索内容---";
inline constexpr const char* kEnterSearchText = "请输入搜索内容";
inline constexpr const char* kSearchDone = "搜索完毕，请在左边列表查看!";
inline constexpr const char* kSearchNothing = "未找到符合条件的记录!";
inline constexpr const char* kAskSaveContact = "联系人信息已改变,是否保存?";
inline constexpr const char* kAskSaveAccount = "账号信息已改变,是否保存?";
inline constexpr const char* kEnterContactName = "请输入联系人姓名！";
inline constexpr const char* kEnterMobile1 = "请输入手机号码1！";
inline constexpr const char* kContactExists = "该联系人姓名已存在!";
inline constexpr const char* kDeleteContactFailed = "删除联系人失败，请重启软件再试!";
// Our own: the store refused a write the checks allowed (a full disk, a locked file).
inline constexpr const char* kStoreWriteFailed = "保存联系人失败，请检查磁盘后再试!";
inline constexpr const char* kContactSaved = "联系人保存成功!";
inline constexpr const char* kAddContactFailed = "添加联系人失败，请重启软件再试!";
inline constexpr const char* kEnterAccountName = "请输入账号名称!";
inline constexpr const char* kAccountSaved = "账号保存成功!";
inline constexpr const char* kUsePhoneForSms = "请使用Tavrin－手机管家手机版本上传短信!";
inline constexpr const char* kChooseDelete = "请选择......";
inline constexpr const char* kDeleteCountdown = "请选择，%d秒后将自动永久删除!";
inline constexpr const char* kOfflineNotice = "您当前处于离线登录状态!";
inline constexpr const char* kWelcome = "欢迎使用Tavrin-手机管家软件";
inline constexpr const char* kTrayRunning = "Tavrin-手机管家正在运行";
inline constexpr const char* kAskQuit = "确定退出Tavrin-手机管家?";
inline constexpr const char* kStatusLine =
    "Tavrin-手机管家PC1.0版本　最后编辑时间：%s  ,联系人数量%d,短信数量%d,账号数量%d";
inline constexpr const char* kUserNameLabel = "用户名：";
inline constexpr const char* kAllGroups = "全部";
inline constexpr const char* kNoHistoryTime = "0000-00-00 00:00:00";

// The group manager.
inline constexpr const char* kGroupNameHeader = "组名称";
inline constexpr const char* kGroupAddEmpty = "无法添加，请输入分组名称!";
inline constexpr const char* kGroupExists = "该分组名称已存在，请更换其他名称!";
inline constexpr const char* kGroupRenameEmpty = "无法修改，请输入修改后的分组名称！";
inline constexpr const char* kChooseGroup = "请选择分组名称！";
// Our own: the group of all contacts keeps its name.
inline constexpr const char* kGroupAllFixed = "无法修改，\"全部\"分组的名称不能修改！";
// Our own: a contact holds its group name in 9 bytes (four Chinese characters).
inline constexpr const char* kGroupNameTooLong = "分组名称太长，请输入不超过4个汉字的名称!";
inline constexpr const char* kGroupDeleteAll = "无法删除，请选择要删除的分组名称！";
inline constexpr const char* kAskDelete = "确定删除?";
inline constexpr const char* kAskDeleteGroupContacts = "联系人不为空，是否删除该分组下的联系人?";
inline constexpr const char* kAlreadyInRight = "联系人已存在于右边列表中!";
inline constexpr const char* kAlreadyInLeft = "联系人已存在于左边列表中!";

// Personal information, history and about.
inline constexpr const char* kPasswordChanged = "密码修改成功!";
inline constexpr const char* kPasswordChangeFailed = "密码修改失败，请尝试再次修改！";
// Our own: the server took the new password, the local users table did not.
inline constexpr const char* kPasswordChangedNotStored =
    "服务器上的密码已修改，但未能保存到本地数据库，离线登录仍需使用原密码!";
inline constexpr const char* kWelcomeShort = "欢迎您!";
inline constexpr const char* kHistoryGreeting = "%s 欢迎您!您最后更新的日期:%s";
inline constexpr const char* kPcVersion = "v20091208";
inline constexpr const char* kPhoneVersion = "v1.0";

// The service's recharge page, opened in the desktop's web browser.
inline constexpr const char* kRechargeUrl = "https://www.tavrin.example/pay/recharge.html";

}  // namespace kavo::msg

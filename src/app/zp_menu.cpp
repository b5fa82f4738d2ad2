#include "app/zp_menu.h"

#include <QAction>

CZPCommandMenu::CZPCommandMenu(const QString& title, const QList<SMenuItem>& items, QWidget* parent)
    : CZPSkinMenu(title, parent) {
    for (const SMenuItem& item : items) {
        QAction* action = addAction(QString::fromUtf8(item.caption));
        action->setData(item.id);
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { emit commandChosen(id); });
    }
}

QList<int> CZPCommandMenu::Ids() const {
    QList<int> ids;
    for (QAction* action : actions()) ids << action->data().toInt();
    return ids;
}

QAction* CZPCommandMenu::Action(int id) const {
    for (QAction* action : actions())
        if (action->data().toInt() == id) return action;
    return nullptr;
}

CZPMenu::CZPMenu(int toolbarCode, QWidget* parent)
    : CZPCommandMenu(Title(toolbarCode), Items(toolbarCode), parent), m_code(toolbarCode) {}

QList<SMenuItem> CZPMenu::Items(int toolbarCode) {
    using namespace menu_id;
    switch (toolbarCode) {
        case kStoreRestore:
            return {{kUpload, "上传通讯录"},
                    {kDownload, "下载通讯录"},
                    {kImportWindows, "导入windows通讯薄"},
                    {kImportOutlook, "导入Outlook通讯薄"},
                    {kImportCsv, "导入CSV逗号分割文件"},
                    {kExportCsv, "导出CSV文件"},
                    {kExportVCard, "导出vCard文件"}};
        case kOperations:
            return {{kNew, "新增"},
                    {kSave, "保存"},
                    {kPrint, "打印"},
                    {kDelete, "删除"},
                    {kLoginRegister, "登录/注册"},
                    {kGroupManage, "分组管理"}};
        case kView:
            return {{kStatistics, "数据统计"}, {kHistory, "历史操作"}};
        case kPersonal:
            return {{kPersonalInfo, "个人资料"}, {kAboutProduct, "关于产品"}};
        default:
            return {};
    }
}

QString CZPMenu::Title(int toolbarCode) {
    switch (toolbarCode) {
        case kStoreRestore:
            return QStringLiteral("存储还原");
        case kOperations:
            return QStringLiteral("操作");
        case kView:
            return QStringLiteral("查看");
        case kPersonal:
            return QStringLiteral("个人资料");
        default:
            return {};
    }
}

CZPNotifyMenu::CZPNotifyMenu(QWidget* parent)
    : CZPCommandMenu(QStringLiteral("Notify"), Items(), parent) {}

QList<SMenuItem> CZPNotifyMenu::Items() {
    using namespace menu_id;
    return {{kNotifyStore, "储存通讯录"},  {kNotifyRestore, "还原通讯录"},
            {kNotifyPersonal, "个人资料"}, {kNotifyRecharge, "立即充值"},
            {kNotifyAbout, "关于"},        {kNotifyRegister, "注册"},
            {kNotifyLogin, "登陆"},        {kNotifyMainWindow, "主窗口"},
            {kNotifyQuit, "退出"}};
}

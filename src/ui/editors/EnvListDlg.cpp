#include "ui/editors/EnvListDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/DialogUnits.h"
#include "ui/editors/EditorCommon.h"

namespace {

constexpr int kDialogWidth = 180;
constexpr int kDialogHeight = 160;
// Item data: the environment index, and the board index (-1 on an environment).
constexpr int kEnvRole = Qt::UserRole;
constexpr int kBoardRole = Qt::UserRole + 1;

}   // namespace

CEnvListDlg::CEnvListDlg(const std::vector<CEnvDef>& environments, int envIndex, OpenEditor openEditor,
                         QWidget* parent)
    : QDialog(parent), m_envs(environments), m_openEditor(std::move(openEditor)), m_tree(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("environmentListDialog"));
    setWindowTitle(QStringLiteral("Environment list"));
    NameControl(m_tree, "environmentTree", QStringLiteral("Environments and boards"));
    m_tree->header()->hide();
    // A double-click opens the editor; it does not also open or close the item.
    m_tree->setExpandsOnDoubleClick(false);

    QTreeWidgetItem* first = nullptr;
    for (size_t e = 0; e < m_envs.size(); ++e) {
        auto* root = new QTreeWidgetItem(m_tree, QStringList(QStr(m_envs[e].m_strName)));
        root->setData(0, kEnvRole, static_cast<int>(e));
        root->setData(0, kBoardRole, -1);
        for (size_t b = 0; b < m_envs[e].m_boards.size(); ++b) {
            auto* child = new QTreeWidgetItem(root, QStringList(QStr(m_envs[e].m_boards[b].m_strName)));
            child->setData(0, kEnvRole, static_cast<int>(e));
            child->setData(0, kBoardRole, static_cast<int>(b));
        }
        if (static_cast<int>(e) == envIndex)
            first = root;
    }
    if (first) {
        first->setExpanded(true);
        m_tree->setCurrentItem(first);
        m_tree->scrollToItem(first);
    }
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { OpenItem(item); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    NameControl(buttons->button(QDialogButtonBox::Ok), "ok", QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CEnvListDlg::accept);
    auto* main = new QVBoxLayout(this);
    main->addWidget(m_tree, 1);
    main->addWidget(buttons);
    resize(CDialogUnits::Of(this).Size(kDialogWidth, kDialogHeight));
    m_tree->setFocus();
}

void CEnvListDlg::OpenItem(QTreeWidgetItem* item)
{
    if (!item || !m_openEditor)
        return;
    m_openEditor(item->data(0, kEnvRole).toInt(), item->data(0, kBoardRole).toInt());
}

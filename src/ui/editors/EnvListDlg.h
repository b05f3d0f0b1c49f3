#pragma once
// CEnvListDlg ("Environment list"): a tree of the environments and their
// boards. A double-click opens the environment editor on the item; the tree
// is not rebuilt while the dialog is open.
#include <QDialog>

#include <functional>
#include <vector>

#include "model/BoardDef.h"

class QTreeWidget;
class QTreeWidgetItem;

inline constexpr int IDC_ENV_TREE = 380;

class CEnvListDlg : public QDialog {
    Q_OBJECT
public:
    // Runs Environment Open on an environment index and a board index (-1: none).
    using OpenEditor = std::function<void(int envIndex, int boardIndex)>;

    CEnvListDlg(const std::vector<CEnvDef>& environments, int envIndex, OpenEditor openEditor,
                QWidget* parent = nullptr);

    const std::vector<CEnvDef>& Environments() const { return m_envs; }
    QTreeWidget* Tree() const { return m_tree; }
    // What a double-click on `item` opens.
    void OpenItem(QTreeWidgetItem* item);

private:
    std::vector<CEnvDef> m_envs;
    OpenEditor m_openEditor;
    QTreeWidget* m_tree;
};

#pragma once
// The id -> widget table of one window: every control the engine or a rule
// refers to by its template id, with the object name and accessible name each
// control gets.
#include <QString>
#include <QWidget>

#include <map>
#include <string>

class CLinkControls {
public:
    // Names `widget` and, when `id` is not 0, enters it under that id.
    template <class T>
    T* Add(int id, T* widget, const char* objectName, const QString& accessibleName)
    {
        widget->setObjectName(QString::fromLatin1(objectName));
        widget->setAccessibleName(accessibleName);
        if (id != 0) m_controls[id] = widget;
        return widget;
    }
    // Enters a part of another control (keeping the name Qt gave it).
    void Enter(int id, QWidget* widget, const QString& accessibleName)
    {
        widget->setAccessibleName(accessibleName);
        m_controls[id] = widget;
    }
    // The control of that id, or null.
    QWidget* Control(int id) const
    {
        const auto it = m_controls.find(id);
        return it == m_controls.end() ? nullptr : it->second;
    }

private:
    std::map<int, QWidget*> m_controls;
};

inline QString ToQString(const std::string& text) { return QString::fromStdString(text); }

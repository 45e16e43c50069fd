#ifndef EDITORWINDOW_H
#define EDITORWINDOW_H

#include <Qt>

class QWidget;

// The editor windows a page opens: a dialog whose title bar has no buttons.
constexpr Qt::WindowFlags EditorWindowFlags = Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint;

// Makes `form` an application-modal window, fixed at the size of its
// contents, that is deleted when it closes.
void setUpEditorWindow(QWidget *form);

#endif // EDITORWINDOW_H

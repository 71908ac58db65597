#ifndef APPLICATIONFACTORY_H
#define APPLICATIONFACTORY_H

#include <Qt>

class QWidget;

// Creates an application's main widget; the caller owns it.
typedef QWidget *(*ApplicationFactory)(QWidget *parent, Qt::WindowFlags flags);

// Adds an application to the process-wide table, replacing an earlier
// factory of the same name. Safe during static initialisation.
void registerApplication(const char *name, ApplicationFactory factory);

// The factory of vemo's own main window.
QWidget *createMainWindow(QWidget *parent, Qt::WindowFlags flags);

#endif

#pragma once

class QObject;

// Quits the application when standard input reads "quit" or closes: how tests end a probe.
void QuitOnInput(QObject* parent);

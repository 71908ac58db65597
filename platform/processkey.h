#ifndef PROCESSKEY_H
#define PROCESSKEY_H

// Hands the process's key buffer and name to the platform's process security
// framework. There is no such framework here: the buffer is left as it is.
void checkAndSetProcessKey(const char *key, const char *name);

#endif

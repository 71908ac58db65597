#ifndef QUALITY_H
#define QUALITY_H

#include <QObject>

// How a session trades picture quality for bandwidth, as the user chose
// it. The numbers are the user's (the command line's and the saved
// servers'); Unknown: none given. Auto follows the link and the picture.
namespace SessionQuality
{
Q_NAMESPACE
// Fixed underlying type: any number from the command line is passed on.
enum Quality : int { Unknown, High, Medium, Low, Auto };
Q_ENUM_NS(Quality)
} // namespace SessionQuality

using SessionQuality::Quality;

#endif

// Linked into a test program whose widgets are all shown at device pixel
// ratio 2, as on a high-density screen. The scale factor is read when the
// program's QApplication starts, which is after every static initialiser.
#include <QByteArray>
#include <QtGlobal>

namespace {

const bool doubled = (qputenv("QT_SCALE_FACTOR", QByteArray("2")), true);

}  // namespace

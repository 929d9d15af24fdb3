// The plug-in object that Qt finds in imageformats/: it answers for the key "qob" and the
// MIME type image/x-qob (qob.json), and for any device whose bytes start with "QOB".
#include <QImageIOPlugin>

#include "qob_handler.h"

class QobPlugin : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QImageIOHandlerFactoryInterface" FILE "qob.json")

public:
    Capabilities capabilities(QIODevice* device, const QByteArray& format) const override {
        if (format == "qob") return Capabilities(CanRead | CanWrite);
        if (!format.isEmpty() || device == nullptr || !device->isOpen()) return {};
        Capabilities capabilities;
        if (device->isReadable() && QobHandler::canRead(device)) capabilities |= CanRead;
        if (device->isWritable()) capabilities |= CanWrite;
        return capabilities;
    }

    QImageIOHandler* create(QIODevice* device, const QByteArray& format) const override {
        auto* handler = new QobHandler;
        handler->setDevice(device);
        handler->setFormat(format.isEmpty() ? QByteArray("qob") : format);
        return handler;
    }
};

#include "qob_plugin.moc"

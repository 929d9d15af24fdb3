// Reads and writes QOB pictures for Qt's QImageReader and QImageWriter, over the xqob C
// interface. One source for Qt 5 and Qt 6.
#ifndef XQOB_QT_QOB_HANDLER_H
#define XQOB_QT_QOB_HANDLER_H

#include <QImageIOHandler>
#include <QLoggingCategory>
#include <QSize>

#include "xqob/xqob.h"

Q_DECLARE_LOGGING_CATEGORY(lcQob)

class QobHandler : public QImageIOHandler {
public:
    QobHandler();

    bool canRead() const override;
    bool read(QImage* image) override;
    bool write(const QImage& image) override;
    QVariant option(ImageOption option) const override;
    void setOption(ImageOption option, const QVariant& value) override;
    bool supportsOption(ImageOption option) const override;

    // Whether device starts with the "QOB" signature; peeks, never consumes.
    static bool canRead(QIODevice* device);

private:
    // Reads the header through peek() once and keeps it, so that the size and format are
    // known before read() and on a sequential device too. False when it is not a usable
    // header; the reason is in failure_.
    bool peekHeader() const;
    bool fail(const char* message) const;

    mutable bool headerPeeked_ = false;
    mutable bool headerValid_ = false;
    mutable xqob_info info_{};
    mutable xqob_error failure_{};
    QSize scaledSize_;
    int quality_ = -1;
};

#endif  // XQOB_QT_QOB_HANDLER_H

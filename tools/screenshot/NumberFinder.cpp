#include "NumberFinder.h"

#include "DigitRuns.h"
#include "TextReader.h"

#include <QMetaObject>

namespace {

// Recognition boxes hug the ink; anti-aliased edges lie a pixel or two beyond them.
int MarginFor(const QImage& picture)
{
    return qMax(2, qMin(picture.width(), picture.height()) / 200);
}

} // namespace

NumberFinder::NumberFinder(QObject* pParent) : QObject(pParent)
{
    qRegisterMetaType<QVector<QRect>>();
    qRegisterMetaType<NumberFinder::State>();
    m_pReader = new TextReader;
    // The worker is a plain object living on the thread: work queued to it runs there, in
    // order, and it is deleted there when the thread ends.
    m_pWorker = new QObject;
    m_pWorker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_pWorker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("NumberFinder"));
    m_thread.start();

    TextReader* pReader = m_pReader;
    QMetaObject::invokeMethod(m_pWorker, [this, pReader] {
        const bool bLoaded = pReader->Load();
        const QString reason = pReader->GetError();
        QMetaObject::invokeMethod(this, [this, bLoaded, reason] {
            m_strReason = reason;
            SetState(bLoaded ? State::Ready : State::Unavailable);
        });
    });
}

NumberFinder::~NumberFinder()
{
    m_pReader->Cancel();
    m_thread.quit();
    m_thread.wait();
    delete m_pReader;
}

void NumberFinder::Find(const QImage& picture, const QPoint& origin)
{
    if (m_eState != State::Ready)
        return;
    SetState(State::Busy);
    TextReader* pReader = m_pReader;
    QMetaObject::invokeMethod(m_pWorker, [this, pReader, picture, origin] {
        QVector<QRect> boxes = FindIn(*pReader, picture);
        for (QRect& box : boxes)
            box.translate(origin);
        QMetaObject::invokeMethod(this, [this, boxes] {
            SetState(State::Ready);
            emit SigFound(boxes);
        });
    });
}

QVector<QRect> NumberFinder::FindIn(TextReader& reader, const QImage& picture)
{
    const QRect bounds = picture.rect();
    QVector<QRect> boxes;
    for (const QRect& box : FindDigitRuns(reader.Read(picture), MarginFor(picture))) {
        const QRect clipped = box.intersected(bounds);
        if (!clipped.isEmpty())
            boxes.append(clipped);
    }
    return boxes;
}

void NumberFinder::SetState(State eState)
{
    if (eState == m_eState)
        return;
    m_eState = eState;
    emit SigStateChanged(eState);
}

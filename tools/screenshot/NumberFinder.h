#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QThread>
#include <QVector>

class TextReader;

// Finds long numbers in a picture with text recognition on a worker thread of its own, so the
// window that asks stays responsive. Loading the recognition data starts at construction.
class NumberFinder : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Loading,    // the recognition data is being loaded
        Ready,      // Find() may be called
        Busy,       // a picture is being read
        Unavailable // no recognition data; GetReason() says why
    };
    Q_ENUM(State)

    explicit NumberFinder(QObject* pParent = nullptr);
    // Stops a reading under way and waits for the worker to end.
    ~NumberFinder() override;

    State GetState() const { return m_eState; }
    QString GetReason() const { return m_strReason; }

    // Reads picture and reports SigFound; origin is added to every box. Ignored unless Ready.
    void Find(const QImage& picture, const QPoint& origin = {});

    // The boxes over numbers of a picture, margin included and clipped to the picture;
    // blocks. Used where no window waits, and by the worker.
    static QVector<QRect> FindIn(TextReader& reader, const QImage& picture);

signals:
    void SigStateChanged(NumberFinder::State eState);
    void SigFound(const QVector<QRect>& boxes);

private:
    void SetState(State eState);

    QThread m_thread;
    TextReader* m_pReader = nullptr;
    QObject* m_pWorker = nullptr;
    State m_eState = State::Loading;
    QString m_strReason;
};

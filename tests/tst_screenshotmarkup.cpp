// The capture program's mark-up: long numbers found among recognised words, the mark-up file,
// drawing marks and black-outs into the picture, the undo history, and text recognition on
// rendered pictures.

#include "CommandLine.h"
#include "DigitRuns.h"
#include "Markup.h"
#include "MarkupJson.h"
#include "MarkupModel.h"
#include "NumberFinder.h"
#include "SelectionOverlay.h"
#include "TestMessageHandler.h"
#include "TestPictures.h"
#include "TextReader.h"

#include <QApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

Q_DECLARE_METATYPE(MarkupShapes)

namespace {

// Words laid out as recognition reports them: 10 pixels a character, 20 a line, 16 high.
// A space is a word gap; two spaces are wider than a line is high, the gap between columns.
QVector<OcrWord> Words(const QString& text, bool bCharBoxes = true)
{
    QVector<OcrWord> words;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int line = 0; line < lines.size(); ++line) {
        const QString& row = lines.at(line);
        for (int col = 0; col < row.size(); ++col) {
            if (row.at(col) == QLatin1Char(' '))
                continue;
            if (col == 0 || row.at(col - 1) == QLatin1Char(' ')) {
                OcrWord word;
                word.line = line;
                words.append(word);
            }
            OcrWord& word = words.last();
            const QRect box(col * 10, line * 20, 9, 16);
            word.text += row.at(col);
            word.box = word.box.isNull() ? box : word.box.united(box);
            if (bCharBoxes)
                word.charBoxes.append(box);
        }
    }
    return words;
}

// The box over characters first..last of a line of Words().
QRect Columns(int line, int first, int last)
{
    return QRect(first * 10, line * 20, (last - first) * 10 + 9, 16);
}

QImage Noise(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7 + y * 3) % 251 + 4, (x * y) % 199 + 50, 128 + y % 97));
    return image;
}

MarkupShape Shape(MarkupShape::Kind eKind, const QRect& rect = {},
                  const QVector<QPoint>& points = {})
{
    MarkupShape shape;
    shape.eKind = eKind;
    shape.rect = rect;
    shape.points = points;
    return shape;
}

} // namespace

class tst_ScreenshotMarkup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void options_data();
    void options();
    void digitRuns_data();
    void digitRuns();
    void markupFile_data();
    void markupFile();
    void blackOutKeepsNothing_data();
    void blackOutKeepsNothing();
    void undoHistory_data();
    void undoHistory();
    void findsNumbers_data();
    void findsNumbers();
    void withoutRecognitionData();
};

void tst_ScreenshotMarkup::initTestCase()
{
    TestMessageHandler::install();
}

void tst_ScreenshotMarkup::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("markupFile"); // null: refused
    QTest::addColumn<bool>("hideNumbers");

    const QString region = QStringLiteral("1,2,30,40");
    QTest::newRow("both") << QStringList{"--region", region, "--markup", "m.json", "--hide-numbers"}
                          << "m.json" << true;
    QTest::newRow("markup after =, before the region")
        << QStringList{"--markup=a b.json", "--region", region} << "a b.json" << false;
    QTest::newRow("numbers only") << QStringList{"--hide-numbers", "--region", region} << ""
                                  << true;
    QTest::newRow("markup without a value")
        << QStringList{"--region", region, "--markup"} << QString() << false;
    QTest::newRow("markup with an empty value")
        << QStringList{"--region", region, "--markup="} << QString() << false;
    QTest::newRow("markup twice") << QStringList{"--region", region,     "--markup",
                                                 "a",        "--markup", "b"}
                                  << QString() << false;
    // Without a region there are no picture pixels to place marks or black-outs in.
    QTest::newRow("markup without a region")
        << QStringList{"--markup", "m.json"} << QString() << false;
    QTest::newRow("numbers without a region")
        << QStringList{"--hide-numbers"} << QString() << false;
}

void tst_ScreenshotMarkup::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, markupFile);
    QFETCH(bool, hideNumbers);

    const CommandLine commandLine = CommandLine::Parse(arguments);
    QCOMPARE(commandLine.GetAction() == CommandLine::Action::Invalid, markupFile.isNull());
    if (markupFile.isNull())
        return;
    QCOMPARE(commandLine.GetAction(), CommandLine::Action::Region);
    QCOMPARE(commandLine.GetRegion(), QRect(1, 2, 30, 40));
    QCOMPARE(commandLine.GetMarkupFile(), markupFile);
    QCOMPARE(commandLine.GetHideNumbers(), hideNumbers);
}

void tst_ScreenshotMarkup::digitRuns_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVector<QRect>>("expected");
    using Boxes = QVector<QRect>;

    QTest::newRow("eleven digits") << "13812345678" << Boxes{Columns(0, 0, 10)};
    QTest::newRow("six digits") << "123456" << Boxes{Columns(0, 0, 5)};
    QTest::newRow("five digits") << "12345" << Boxes{};
    QTest::newRow("inside a word, only the digits")
        << "Tel:13812345678." << Boxes{Columns(0, 4, 14)};
    QTest::newRow("groups a space apart") << "call 138 1234 5678 now" << Boxes{Columns(0, 5, 17)};
    QTest::newRow("groups a hyphen apart") << "6222-0212-3456-7890" << Boxes{Columns(0, 0, 18)};
    QTest::newRow("two hyphens end a run") << "123--456789" << Boxes{Columns(0, 5, 10)};
    QTest::newRow("hyphen then space end a run") << "123- 456789" << Boxes{Columns(0, 5, 10)};
    QTest::newRow("a column gap ends a run") << "1234  5678" << Boxes{};
    QTest::newRow("a line break ends a run") << "1234\n5678" << Boxes{};
    QTest::newRow("times, prices, short counts") << "12:30:45 at 99.50 for 2026" << Boxes{};
    QTest::newRow("two numbers on two lines")
        << "a 123456\nb 7654321" << Boxes{Columns(0, 2, 7), Columns(1, 2, 8)};
    QTest::newRow("full-width digits")
        << QString::fromUtf8("\uFF11\uFF13\uFF18\uFF11\uFF12\uFF13\uFF14")
        << Boxes{Columns(0, 0, 6)};
}

void tst_ScreenshotMarkup::digitRuns()
{
    QFETCH(QString, text);
    QFETCH(QVector<QRect>, expected);
    QCOMPARE(FindDigitRuns(Words(text)), expected);

    // Without boxes per character a run covers its whole words; a margin grows every box.
    QVector<QRect> grown;
    for (const QRect& box : expected)
        grown.append(box.adjusted(-3, -3, 3, 3));
    QCOMPARE(FindDigitRuns(Words(text), 3), grown);
    QCOMPARE(FindDigitRuns(Words(text, false)).size(), expected.size());
}

void tst_ScreenshotMarkup::markupFile_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<MarkupShapes>("expected");
    QTest::addColumn<QString>("error"); // empty: accepted

    MarkupShape text = Shape(MarkupShape::Kind::Text, QRect(5, 6, 1, 1));
    text.text = QStringLiteral("here");
    text.colour = QColor(0, 0, 255);
    text.size = 30;
    MarkupShape arrow = Shape(MarkupShape::Kind::Arrow, {}, {QPoint(1, 2), QPoint(30, 40)});
    arrow.colour = QColor("#00ff00");
    const MarkupShapes all{
        Shape(MarkupShape::Kind::Rectangle, QRect(1, 2, 3, 4)), arrow,
        Shape(MarkupShape::Kind::Highlighter, {}, {QPoint(0, 0), QPoint(5, 5), QPoint(9, 2)}), text,
        MarkupShape::BlackOut(QRect(10, 20, 30, 40))};
    QTest::newRow("every kind") << QByteArray(R"([{"type": "rectangle", "rect": [1, 2, 3, 4]},
                          {"type": "arrow", "from": [1, 2], "to": [30, 40], "color": "#00ff00"},
                          {"type": "highlighter", "points": [[0, 0], [5, 5], [9, 2]]},
                          {"type": "text", "at": [5, 6], "text": "here", "color": "blue",
                           "size": 30},
                          {"type": "blackout", "rect": [10, 20, 30, 40]}])")
                                << all << QString();
    QTest::newRow("nothing") << QByteArray("[]") << MarkupShapes() << QString();

    const auto refused = [](const char* name, const char* json, const char* error) {
        QTest::newRow(name) << QByteArray(json) << MarkupShapes() << QString(error);
    };
    refused("not JSON", "[{", "not JSON");
    refused("an object", R"({"type": "blackout"})", "expected a JSON array");
    refused("unknown type", R"([{"type": "blur", "rect": [0, 0, 5, 5]}])",
            "shape 1: unknown \"type\"");
    refused("zero width", R"([{"type": "blackout", "rect": [0, 0, 0, 5]}])", "shape 1: \"rect\"");
    refused("fraction", R"([{"type": "blackout", "rect": [0, 0.5, 5, 5]}])", "shape 1: \"rect\"");
    refused("three numbers", R"([{"type": "rectangle", "rect": [0, 0, 5]}])", "shape 1: \"rect\"");
    refused("text without text", R"([{"type": "text", "at": [0, 0]}])", "shape 1: \"text\"");
    refused("bad colour", R"([{"type": "arrow", "from": [0, 0], "to": [1, 1], "color": "nope"}])",
            "shape 1: \"color\"");
    refused("zero size", R"([{"type": "rectangle", "rect": [0, 0, 5, 5], "size": 0}])",
            "shape 1: \"size\"");
    // A colour on a black-out would suggest it can be something other than black.
    refused("coloured black-out", R"([{"type": "blackout", "rect": [0, 0, 5, 5], "color": "red"}])",
            "shape 1: unknown key \"color\"");
    refused("second one wrong",
            R"([{"type": "blackout", "rect": [0, 0, 5, 5]}, {"type": "blackout", "rect": 7}])",
            "shape 2: \"rect\"");
}

void tst_ScreenshotMarkup::markupFile()
{
    QFETCH(QByteArray, json);
    QFETCH(MarkupShapes, expected);
    QFETCH(QString, error);

    MarkupShapes shapes{MarkupShape::BlackOut(QRect(0, 0, 1, 1))};
    QString problem;
    QCOMPARE(MarkupJson::Parse(json, &shapes, &problem), error.isEmpty());
    QVERIFY2(problem.startsWith(error), qPrintable(problem));
    if (error.isEmpty())
        QCOMPARE(shapes, expected);

    // Through a file, as the program reads it.
    QTemporaryDir dir;
    QFile file(dir.filePath("markup.json"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(json) == json.size());
    file.close();
    QCOMPARE(MarkupJson::Load(file.fileName(), &shapes, &problem), error.isEmpty());
}

void tst_ScreenshotMarkup::blackOutKeepsNothing_data()
{
    QTest::addColumn<MarkupShapes>("shapes");
    QTest::addColumn<QPoint>("origin");

    const QRect box(20, 15, 40, 25);
    MarkupShape text = Shape(MarkupShape::Kind::Text, QRect(10, 10, 1, 1));
    text.text = QStringLiteral("WWWW");
    text.colour = Qt::yellow;
    text.size = 40;
    QTest::newRow("alone") << MarkupShapes{MarkupShape::BlackOut(box)} << QPoint();
    // Black-outs are drawn last, whatever came after them in the list.
    QTest::newRow("under later marks")
        << MarkupShapes{MarkupShape::BlackOut(box),
                        Shape(MarkupShape::Kind::Highlighter, {}, {QPoint(0, 20), QPoint(90, 30)}),
                        Shape(MarkupShape::Kind::Rectangle, box.adjusted(-2, -2, 2, 2)), text,
                        Shape(MarkupShape::Kind::Arrow, {}, {QPoint(0, 0), QPoint(40, 30)})}
        << QPoint();
    QTest::newRow("picture placed at an origin")
        << MarkupShapes{MarkupShape::BlackOut(box.translated(300, 200))} << QPoint(300, 200);
}

void tst_ScreenshotMarkup::blackOutKeepsNothing()
{
    QFETCH(MarkupShapes, shapes);
    QFETCH(QPoint, origin);
    const QImage picture = Noise(QSize(100, 80));
    const QRect box = shapes.constFirst().rect.translated(-origin);

    const QImage marked = ApplyMarkup(picture, shapes, origin);
    QCOMPARE(marked.size(), picture.size());
    QVERIFY(AllBlack(marked, box));
    // The pixels around the box are untouched by it: its edges are exact.
    for (const QRect& edge : {box.adjusted(-1, 0, 0, 0), box.adjusted(0, -1, 0, 0),
                              box.adjusted(0, 0, 1, 0), box.adjusted(0, 0, 0, 1)})
        QVERIFY(!AllBlack(marked, edge));
    if (shapes.size() == 1) {
        QImage expected = picture;
        QPainter(&expected).fillRect(box, Qt::black);
        QCOMPARE(marked, expected);
    }
}

void tst_ScreenshotMarkup::undoHistory_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected"); // the shapes' letters after the steps

    // a, b: shapes; P: two proposed black-outs p and q as one step; -p: take p away.
    QTest::newRow("undo one") << "a b <"
                              << "a";
    QTest::newRow("undo all, redo all") << "a b < < > >"
                                        << "ab";
    QTest::newRow("undo past the start") << "a < < <"
                                         << "";
    QTest::newRow("redo past the end") << "a > >"
                                       << "a";
    QTest::newRow("a new shape drops the redo") << "a b < c >"
                                                << "ac";
    QTest::newRow("proposals are one step") << "a P <"
                                            << "a";
    QTest::newRow("take a proposal away, undo") << "a P -p"
                                                << "aq";
    QTest::newRow("take away, undo, redo") << "P -q < > "
                                           << "p";
    QTest::newRow("taking away a plain shape is refused") << "a -a <"
                                                          << "";
}

void tst_ScreenshotMarkup::undoHistory()
{
    QFETCH(QString, steps);
    QFETCH(QString, expected);

    // Each letter a shape of its own, told apart by its box.
    const auto shape = [](QChar letter) {
        const bool bProposed = letter == QLatin1Char('p') || letter == QLatin1Char('q');
        return MarkupShape::BlackOut(QRect(letter.unicode(), 0, 5, 5), bProposed);
    };
    MarkupModel model;
    QSignalSpy changed(&model, &MarkupModel::SigChanged);
    int changes = 0;
    for (const QString& step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int before = model.GetShapes().size();
        if (step == QLatin1String("<")) {
            model.Undo();
        } else if (step == QLatin1String(">")) {
            model.Redo();
        } else if (step == QLatin1String("P")) {
            model.AddAll({shape('p'), shape('q')});
        } else if (step.startsWith(QLatin1Char('-'))) {
            const int index = model.GetShapes().indexOf(shape(step.at(1)));
            const bool bProposal = step.at(1) == QLatin1Char('p') || step.at(1) == QLatin1Char('q');
            QCOMPARE(model.RemoveProposal(index), bProposal);
        } else {
            model.Add(shape(step.at(0)));
        }
        if (model.GetShapes().size() != before)
            ++changes;
    }
    QString letters;
    for (const MarkupShape& each : model.GetShapes())
        letters += QChar(each.rect.x());
    QCOMPARE(letters, expected);
    QCOMPARE(changed.count(), changes);
}

void tst_ScreenshotMarkup::findsNumbers_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QVector<int>>("numbers"); // indexes of the words that must be covered

    QTest::newRow("phone number among words")
        << QStringList{"Call", "13812345678", "about", "order"} << QVector<int>{1};
    QTest::newRow("card number in groups")
        << QStringList{"Card", "6222", "0212", "3456", "7890", "expires"}
        << QVector<int>{1, 2, 3, 4};
    QTest::newRow("short numbers stay")
        << QStringList{"Total", "12345", "items", "at", "99.50"} << QVector<int>{};
}

// The recognition reads a rendered picture on the finder's thread; the boxes come back offset
// by the origin given, cover every number and none of the words.
void tst_ScreenshotMarkup::findsNumbers()
{
    QFETCH(QStringList, words);
    QFETCH(QVector<int>, numbers);

    NumberFinder finder;
    QTRY_VERIFY_WITH_TIMEOUT(finder.GetState() != NumberFinder::State::Loading, 60000);
    if (finder.GetState() == NumberFinder::State::Unavailable)
        QSKIP(qPrintable(finder.GetReason()));

    const TextPicture text = RenderTextLine(words);
    const QPoint origin(500, 300);
    QSignalSpy found(&finder, &NumberFinder::SigFound);
    finder.Find(text.image, origin);
    // The caller goes on at once; the reading is the finder's thread's.
    QCOMPARE(finder.GetState(), NumberFinder::State::Busy);
    QVERIFY(found.wait(60000));
    QCOMPARE(finder.GetState(), NumberFinder::State::Ready);

    MarkupShapes blackOuts;
    for (const QRect& box : found.constFirst().constFirst().value<QVector<QRect>>())
        blackOuts.append(MarkupShape::BlackOut(box));
    const QImage hidden = ApplyMarkup(text.image, blackOuts, origin);
    for (int i = 0; i < words.size(); ++i) {
        if (numbers.contains(i))
            QVERIFY2(AllBlack(hidden, text.ink.at(i)), qPrintable(words.at(i)));
        else
            QVERIFY2(hidden.copy(text.cells.at(i)) == text.image.copy(text.cells.at(i)),
                     qPrintable(words.at(i)));
    }
}

// Without the data the action is there but disabled, and its tool tip says why.
void tst_ScreenshotMarkup::withoutRecognitionData()
{
    QTemporaryDir empty;
    const QByteArray saved = qgetenv("TESSDATA_PREFIX");
    qputenv("TESSDATA_PREFIX", QFile::encodeName(empty.path()));
    NumberFinder finder;
    QTRY_VERIFY_WITH_TIMEOUT(finder.GetState() != NumberFinder::State::Loading, 60000);
    if (saved.isNull())
        qunsetenv("TESSDATA_PREFIX");
    else
        qputenv("TESSDATA_PREFIX", saved);
    QCOMPARE(finder.GetState(), NumberFinder::State::Unavailable);
    QVERIFY(finder.GetReason().contains("not installed"));

    QPixmap pixmap(200, 100);
    pixmap.fill(Qt::white);
    SelectionOverlay overlay{ScreenShot(pixmap)};
    overlay.SetNumberFinder(&finder);
    auto* pButton = overlay.findChild<QToolButton*>("hideNumbersButton");
    QVERIFY(pButton);
    QVERIFY(!pButton->isEnabled());
    QVERIFY(pButton->toolTip().contains(finder.GetReason()));
}

QTEST_MAIN(tst_ScreenshotMarkup)
#include "tst_screenshotmarkup.moc"

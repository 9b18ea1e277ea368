// Parsing a category reply of 10,000 nodes through the module's response, against a bare
// QJsonDocument::fromJson of the same bytes and a walk that reads every node's code and
// name.

#include "BenchSupport.h"
#include "ConsultBusinessTypeEntity.h"
#include "ConsultBusinessTypeResponse.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace Bench;

namespace {

constexpr int kTopLevel = 100;
// 100 first-level categories of 99 children each: 10,000 nodes.
constexpr int kChildren = 99;
// Parses per run: one parse is too short to time well on a loaded machine.
constexpr int kParsesPerRun = 5;

QJsonObject Node(int code, const QString& name, const QJsonArray& children)
{
    return QJsonObject{{QStringLiteral("businessTypeCode"), QString::number(code)},
                       {QStringLiteral("businessTypeName"), name},
                       {QStringLiteral("children"), children}};
}

QByteArray Reply()
{
    QJsonArray top;
    for (int i = 0; i < kTopLevel; ++i) {
        QJsonArray children;
        for (int j = 0; j < kChildren; ++j) {
            children.append(Node(100000 + i * 1000 + j,
                                 QStringLiteral("Receipt printer fault %1.%2").arg(i).arg(j),
                                 QJsonArray()));
        }
        top.append(Node(1000 + i, QStringLiteral("Hardware group %1").arg(i), children));
    }
    const QJsonObject envelope{{QStringLiteral("code"), 0},
                               {QStringLiteral("msg"), QString()},
                               {QStringLiteral("data"), top}};
    return QJsonDocument(envelope).toJson(QJsonDocument::Compact);
}

int CountEntities(const QList<QSharedPointer<ConsultBusinessTypeEntity>>& list)
{
    int count = 0;
    for (const auto& entity : list)
        count += 1 + CountEntities(entity->GetChildren());
    return count;
}

// What any reader of the reply does at least: every node's code and name as text.
int Walk(const QJsonArray& nodes, qint64* textLength)
{
    int count = 0;
    for (const QJsonValue& value : nodes) {
        const QJsonObject node = value.toObject();
        *textLength += node.value(QLatin1String("businessTypeCode")).toString().size() +
                       node.value(QLatin1String("businessTypeName")).toString().size();
        count += 1 + Walk(node.value(QLatin1String("children")).toArray(), textLength);
    }
    return count;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray reply = Reply();
    const int expected = kTopLevel * (1 + kChildren);
    std::printf("Category reply of %d nodes, %d bytes (median of %d runs of %d parses)\n", expected,
                reply.size(), kRuns * 3, kParsesPerRun);

    // The module's parse makes the whole tree; counting it is the check, not the work.
    ConsultBusinessTypeResponse checked;
    checked.SetData(reply);
    const int projectNodes = checked.IsSuccess() ? CountEntities(checked.GetBusinessTypeList()) : 0;
    const auto project = [&]() {
        for (int k = 0; k < kParsesPerRun; ++k) {
            ConsultBusinessTypeResponse response;
            response.SetData(reply);
        }
    };
    int bareNodes = 0;
    qint64 textLength = 0;
    const auto bare = [&]() {
        for (int k = 0; k < kParsesPerRun; ++k) {
            const QJsonDocument document = QJsonDocument::fromJson(reply);
            bareNodes = Walk(document.object().value(QLatin1String("data")).toArray(), &textLength);
        }
    };
    // Once each first, so that neither pays for first use (allocator, string tables).
    project();
    bare();
    QVector<double> projectTimes;
    QVector<double> bareTimes;
    for (int run = 0; run < kRuns * 3; ++run) {
        projectTimes.append(MedianMs(1, project) / kParsesPerRun);
        bareTimes.append(MedianMs(1, bare) / kParsesPerRun);
    }
    if (projectNodes != expected || bareNodes != expected) {
        std::fprintf(stderr, "parsed %d and %d nodes, expected %d\n", projectNodes, bareNodes,
                     expected);
        return 1;
    }
    Report(QStringLiteral("category reply parse"), Median(projectTimes), Median(bareTimes),
           QStringLiteral("ms"), 1.5, QStringLiteral("fromJson+walk"));
    return 0;
}

// Gateway replies as a broken proxy or a faulty service may deliver them: the envelope, and the
// business data of the category tree, the submission and the image upload.

#include "ConsultBusinessTypeResponse.h"
#include "ConsultSubmitDescResponse.h"
#include "FuzzCheck.h"
#include "ImageUploadResponse.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

namespace {

// Whatever the bytes, a response is either a success without a complaint or a failure that
// says what went wrong.
void CheckOutcome(const IHttpResponseDsm& response)
{
    if (response.IsSuccess()) {
        FUZZ_CHECK(response.GetErrorCode() == response.GetSuccessCode());
        FUZZ_CHECK(response.GetErrorDesc().isEmpty());
    } else {
        FUZZ_CHECK(response.GetErrorCode() != response.GetSuccessCode());
        FUZZ_CHECK(!response.GetErrorDesc().trimmed().isEmpty());
    }
}

// The "data" of the reply when it is an envelope that reports success, read independently of
// the responses.
bool SuccessData(const QByteArray& body, QJsonValue* data)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonValue code = document.object().value(QStringLiteral("code"));
    if (!code.isDouble() || code.toDouble() != 0.0)
        return false;
    *data = document.object().value(QStringLiteral("data"));
    return true;
}

// The category tree keeps every node of the reply, in order, with its children.
void CheckCategories(const QList<QSharedPointer<ConsultBusinessTypeEntity>>& list,
                     const QJsonArray& array)
{
    FUZZ_CHECK(list.size() == array.size());
    for (int i = 0; i < list.size(); ++i) {
        FUZZ_CHECK(list.at(i));
        const QJsonObject node = array.at(i).toObject();
        const QJsonValue code = node.value(QStringLiteral("businessTypeCode"));
        if (code.isString())
            FUZZ_CHECK(list.at(i)->businessTypeCode == code.toString());
        const QJsonValue name = node.value(QStringLiteral("businessTypeName"));
        if (name.isString())
            FUZZ_CHECK(list.at(i)->businessTypeName == name.toString());
        CheckCategories(list.at(i)->GetChildren(),
                        node.value(QStringLiteral("children")).toArray());
    }
}

void CheckReply(const QByteArray& body)
{
    QJsonValue data;
    const bool success = SuccessData(body, &data);

    ConsultBusinessTypeResponse categories;
    categories.SetData(body);
    CheckOutcome(categories);
    FUZZ_CHECK(categories.IsSuccess() == success);
    if (success)
        CheckCategories(categories.GetBusinessTypeList(), data.toArray());

    ConsultSubmitDescResponse submit;
    submit.SetData(body);
    CheckOutcome(submit);
    FUZZ_CHECK(submit.IsSuccess() == success);
    if (success)
        FUZZ_CHECK(submit.GetFeedbackId() == data.toString());

    ImageUploadResponse upload(QStringLiteral("/tmp/picture.png"));
    upload.SetData(body);
    CheckOutcome(upload);
    const QString url = data.toObject().value(QStringLiteral("url")).toString();
    FUZZ_CHECK(upload.IsSuccess() == (success && !url.isEmpty()));
    FUZZ_CHECK(upload.GetImageUrl() == (upload.IsSuccess() ? url : QString()));

    // A response is reused for the next attempt: nothing of this reply may stay behind.
    upload.SetData(QByteArrayLiteral("{\"code\": 7, \"msg\": \"busy\", \"data\": null}"));
    FUZZ_CHECK(!upload.IsSuccess() && upload.GetErrorCode() == 7);
    FUZZ_CHECK(upload.GetImageUrl().isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    // Inputs starting with '@' are the business data of a successful envelope, so the
    // mutations spend their time inside "data".
    if (bytes.startsWith('@'))
        CheckReply("{\"code\": 0, \"msg\": \"\", \"data\": " + bytes.mid(1) + "}");
    else
        CheckReply(bytes);
    return 0;
}

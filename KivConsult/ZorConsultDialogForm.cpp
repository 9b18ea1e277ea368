#include "ZorConsultDialogForm.h"

#include "ZorCategoryComBox.h"
#include "ZorIconButtonWidget.h"
#include "ZorPushButton.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpacerItem>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QSpacerItem* NewHorizontalSpacer()
{
    return new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
}

template<typename T>
T* Named(T* object, const char* name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

} // namespace

void ZorConsultDialogForm::setupUi(QWidget* contentWidget)
{
    if (contentWidget->objectName().isEmpty())
        contentWidget->setObjectName(QStringLiteral("ZorConsultDialog"));
    contentWidget->resize(581, 418);

    horizontalLayoutRoot = Named(new QHBoxLayout(contentWidget), "horizontalLayoutRoot");
    horizontalLayoutRoot->setSpacing(0);
    horizontalLayoutRoot->setContentsMargins(0, 0, 0, 0);

    gridLayout = Named(new QGridLayout(), "gridLayout");
    gridLayout->setSpacing(0);

    uploadLabel = Named(new QLabel(contentWidget), "uploadLabel");
    uploadLabel->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);
    gridLayout->addWidget(uploadLabel, 3, 1, 1, 1, Qt::AlignTop);

    btnHorizontalLayout = Named(new QHBoxLayout(), "btnHorizontalLayout");
    btnHorizontalLayout->setSpacing(0);
    btnHorizontalLayout->addItem(NewHorizontalSpacer());
    recordButton =
        Named(new ZorPushButton(contentWidget, ZorPushButton::TypeDefault, Zor::BusinessDefault),
              "recordButton");
    btnHorizontalLayout->addWidget(recordButton);
    submitButton =
        Named(new ZorPushButton(contentWidget, ZorPushButton::TypeDefault, Zor::BusinessDefault),
              "submitButton");
    btnHorizontalLayout->addWidget(submitButton);
    cancelButton =
        Named(new ZorPushButton(contentWidget, ZorPushButton::TypeDefault, Zor::BusinessDefault),
              "cancelButton");
    btnHorizontalLayout->addWidget(cancelButton);
    gridLayout->addLayout(btnHorizontalLayout, 5, 2, 1, 1);

    detailAsterisk = Named(new QLabel(contentWidget), "detailAsterisk");
    detailAsterisk->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);
    gridLayout->addWidget(detailAsterisk, 2, 0, 1, 1, Qt::AlignTop);

    typeAsterisk = Named(new QLabel(contentWidget), "typeAsterisk");
    gridLayout->addWidget(typeAsterisk, 0, 0, 1, 1, Qt::AlignTop);

    phoneLabel = Named(new QLabel(contentWidget), "phoneLabel");
    gridLayout->addWidget(phoneLabel, 4, 1, 1, 1);

    detailVerticalLayout = Named(new QVBoxLayout(), "detailVerticalLayout");
    detailVerticalLayout->setSpacing(0);
    textEdit = Named(new QTextEdit(contentWidget), "textEdit");
    // A required field: Tab reaches it, and Tab leaves it rather than being typed into it.
    textEdit->setFocusPolicy(Qt::StrongFocus);
    textEdit->setTabChangesFocus(true);
    detailVerticalLayout->addWidget(textEdit);
    countLabel = Named(new QLabel(contentWidget), "countLabel");
    countLabel->setAlignment(Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
    detailVerticalLayout->addWidget(countLabel);
    gridLayout->addLayout(detailVerticalLayout, 2, 2, 1, 1);

    phoneEdit = Named(new QLineEdit(contentWidget), "phoneEdit");
    gridLayout->addWidget(phoneEdit, 4, 2, 1, 1);

    typeEdit = Named(new ZorCategoryComBox(contentWidget), "typeEdit");
    gridLayout->addWidget(typeEdit, 0, 2, 1, 1);

    phoneAsterisk = Named(new QLabel(contentWidget), "phoneAsterisk");
    gridLayout->addWidget(phoneAsterisk, 4, 0, 1, 1, Qt::AlignTop);

    detailLabel = Named(new QLabel(contentWidget), "detailLabel");
    detailLabel->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);
    gridLayout->addWidget(detailLabel, 2, 1, 1, 1, Qt::AlignTop);

    typeLabel = Named(new QLabel(contentWidget), "typeLabel");
    gridLayout->addWidget(typeLabel, 0, 1, 1, 1);

    uploadImageWidget = Named(new QWidget(contentWidget), "uploadImageWidget");
    uploadVerticalLayout = Named(new QVBoxLayout(uploadImageWidget), "uploadVerticalLayout");
    uploadVerticalLayout->setSpacing(0);
    uploadVerticalLayout->setContentsMargins(0, 0, 0, 0);
    horizontalLayoutOperation = Named(new QHBoxLayout(), "horizontalLayoutOperation");
    horizontalLayoutOperation->setSpacing(0);
    uploadWidget = Named(new ZorIconButtonWidget(uploadImageWidget), "uploadWidget");
    horizontalLayoutOperation->addWidget(uploadWidget);
    captureWidget = Named(new ZorIconButtonWidget(uploadImageWidget), "captureWidget");
    horizontalLayoutOperation->addWidget(captureWidget);
    horizontalLayoutOperation->addItem(NewHorizontalSpacer());
    imgtipLabel = Named(new QLabel(uploadImageWidget), "imgtipLabel");
    imgtipLabel->setWordWrap(true);
    horizontalLayoutOperation->addWidget(imgtipLabel);
    uploadVerticalLayout->addLayout(horizontalLayoutOperation);
    gridLayout->addWidget(uploadImageWidget, 3, 2, 1, 1);

    horizontalLayoutRoot->addLayout(gridLayout);

    // Each label names its field, for assistive technology as well.
    typeLabel->setBuddy(typeEdit);
    detailLabel->setBuddy(textEdit);
    uploadLabel->setBuddy(uploadWidget);
    phoneLabel->setBuddy(phoneEdit);

    retranslateUi(contentWidget);
}

void ZorConsultDialogForm::retranslateUi(QWidget* contentWidget)
{
    contentWidget->setWindowTitle(
        QCoreApplication::translate("ZorConsultDialog", "ZorConsultDialog"));
    uploadLabel->setText(QCoreApplication::translate("ZorConsultDialog", "Upload image:"));
    recordButton->setText(
        QCoreApplication::translate("ZorConsultDialog", "Historical feedback record"));
    submitButton->setText(QCoreApplication::translate("ZorConsultDialog", "Submit"));
    cancelButton->setText(QCoreApplication::translate("ZorConsultDialog", "Cancel"));
    detailAsterisk->setText(QString());
    typeAsterisk->setText(QString());
    phoneLabel->setText(QCoreApplication::translate("ZorConsultDialog", "Telephone number:"));
    textEdit->setPlaceholderText(QCoreApplication::translate(
        "ZorConsultDialog", "Please describe the problems you encounter in detail, so as to "
                            "quickly locate and solve them"));
    countLabel->setText(QString());
    detailLabel->setText(QCoreApplication::translate("ZorConsultDialog", "Problem description:"));
    typeLabel->setText(QCoreApplication::translate("ZorConsultDialog", "Problem categroy:"));
    phoneAsterisk->setText(QString());
    imgtipLabel->setText(QString());
}

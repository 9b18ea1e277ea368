#pragma once

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QTextEdit;
class QVBoxLayout;
class QWidget;
class ZorCategoryComBox;
class ZorIconButtonWidget;
class ZorPushButton;

// The feedback dialog's widget tree. The widgets belong to Qt's parent tree; this record
// only points at them. Object names are fixed: the host's style sheets address them.
class ZorConsultDialogForm
{
public:
    // Builds the tree into contentWidget and sets the texts.
    void setupUi(QWidget* contentWidget);
    void retranslateUi(QWidget* contentWidget);

    QHBoxLayout* horizontalLayoutRoot = nullptr;
    QGridLayout* gridLayout = nullptr;
    QLabel* uploadLabel = nullptr;
    QHBoxLayout* btnHorizontalLayout = nullptr;
    ZorPushButton* recordButton = nullptr;
    ZorPushButton* submitButton = nullptr;
    ZorPushButton* cancelButton = nullptr;
    QLabel* detailAsterisk = nullptr;
    QLabel* typeAsterisk = nullptr;
    QLabel* phoneLabel = nullptr;
    QVBoxLayout* detailVerticalLayout = nullptr;
    QTextEdit* textEdit = nullptr;
    QLabel* countLabel = nullptr;
    QLineEdit* phoneEdit = nullptr;
    ZorCategoryComBox* typeEdit = nullptr;
    QLabel* phoneAsterisk = nullptr;
    QLabel* detailLabel = nullptr;
    QLabel* typeLabel = nullptr;
    QWidget* uploadImageWidget = nullptr;
    QVBoxLayout* uploadVerticalLayout = nullptr;
    QHBoxLayout* horizontalLayoutOperation = nullptr;
    ZorIconButtonWidget* uploadWidget = nullptr;
    ZorIconButtonWidget* captureWidget = nullptr;
    QLabel* imgtipLabel = nullptr;
};

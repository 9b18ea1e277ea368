#include "IChangeSkinBase.h"

IChangeSkinBase::~IChangeSkinBase() = default;

void IChangeSkinBase::ChangeSkin(const QString&)
{}

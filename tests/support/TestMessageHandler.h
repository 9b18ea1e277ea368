#pragma once

#include <QRegularExpression>

// Makes a test fail on any Qt warning, critical or fatal message that the test did
// not announce with allow(), so new warnings cannot creep in. Tests using it announce
// expected messages with allow(), not with QTest::ignoreMessage.
namespace TestMessageHandler {

// Installs the handler; call it once from the test's initTestCase().
void install();

// Lets messages matching the pattern pass for the rest of the test run.
void allow(const QRegularExpression& pattern);

} // namespace TestMessageHandler

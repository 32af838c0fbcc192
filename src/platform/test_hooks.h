// Whether this build carries the hooks through which tests inject faults and
// reach the inner steps of the scan. Only builds with the tests (ZQ_TESTS)
// define ZQ_TEST_HOOKS; the programs that ship hold none of them: every
// hook's check is a constant false that folds away, and the sources that
// exist for tests alone are not compiled. A test-only entry that a header
// shows is named "...ForTesting".
#pragma once

#ifdef ZQ_TEST_HOOKS
constexpr bool kTestHooks = true;
#else
constexpr bool kTestHooks = false;
#endif

/* What the revert tests share: trees of a chain of releases of the sample product (the engine's
   base and hotfix, a second hotfix on the same base, two fixpacks and hotfixes on them), the
   fixes zfixbuild makes from them, runs of those fixes, and the comparison of an installation
   with a tree, its release text, the LP keys of ZOREL.INI and PATCH.INI. */
#ifndef ZFIX_REVERT_TEST_H
#define ZFIX_REVERT_TEST_H

#include "engine_test.h"

#include <string>
#include <vector>

extern const char kHf22Label[];
extern const char kFp2Label[];
extern const char kFp3Label[];
extern const char kFp3HfLabel[];
extern const char kFp2HfLabel[];
extern const char kSp2Label[];
extern const char kSp3Label[];
extern const char kSp4Label[];

class RevertTest : public EngineTest {
 protected:
  static void SetUpTestSuite();

  /* The fix from tree "from" (labelled fromLabel) to tree "to", of the kind "hotfix" or "fixpack";
     with an older tree, that release is a further label a revert may go back to. */
  static std::string ChainFix(const std::string& kind, const std::string& from, const std::string& fromLabel,
                              const std::string& to, const std::string& toLabel,
                              const std::string& olderLabel = std::string(), const std::string& older = std::string());

  /* The installation holds exactly tree's files where this chain's trees have files. */
  void ExpectTree(const std::string& tree);
  /* The installed release text. */
  std::string Release();
  /* CFP_LP_BASE_VERSION, CFP_LP_CURRENT and CFP_LP_PREV of both data directories' ZOREL.INI. */
  std::string LpKeys();
  std::string Registry();
  bool BackupDirExists(const std::string& name);

  /* Runs the fix with the arguments (after "nouser") within the time limit; its exit code. */
  int Run(const std::string& fix, const std::string& arguments = std::string());
};

#endif

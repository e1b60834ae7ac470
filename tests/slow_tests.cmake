# Read by ctest once the tests are discovered: the longest ones start first, so that they run
# beside the many short ones instead of after them. (The wheel of tarvo itself compiles the
# whole program again.)
set_tests_properties(PythonPackage.WheelCarriesTheNativeProgram
  Containers.ExecutableRunsOnTheHost NewProject.GreenFromTheFirstCommit
  RealLint.AllFivePassThenRuffAndPyromaFail PROPERTIES COST 1000)

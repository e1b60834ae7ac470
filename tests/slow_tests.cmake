# Read by ctest once the tests are discovered: the longest end-to-end tests start first, so that
# they run beside the many short ones instead of after them. (The wheel of tarvo itself compiles
# the whole program again; the container tests have the same cost, set where they are found.)
set_tests_properties(PythonPackage.WheelCarriesTheNativeProgram NewProject.GreenFromTheFirstCommit
  RealLint.AllFivePassThenRuffAndPyromaFail PROPERTIES COST 1000)

# Read by ctest once the tests are discovered: the longest start first, so that they run beside
# the many short ones instead of after them. The wheel of tarvo itself compiles the whole
# program again, longer than any other (the python and container tests have a cost of 1000, set
# where they are found).
set_tests_properties(PythonPackage.WheelCarriesTheNativeProgram PROPERTIES COST 1500)

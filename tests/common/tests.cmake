# Tests of tarnovacore/common

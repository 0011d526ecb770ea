# Tests of tarnovacore/windows

# Tests of tarnovacore/archive

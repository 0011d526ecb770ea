# Tests of tarnovacore/base

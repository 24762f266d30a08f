# Read by ctest after the discovered tests: the single tests that run longest, each with its time in
# seconds on a loaded two-core machine. On a clean clone ctest has no timings of an earlier run and
# starts tests by COST, then in declaration order; a long test declared late would start last and the
# whole run would wait on it alone. Each COST here is the test's seconds plus 100, so these start
# before the programs whose every test carries a COST (tests/CMakeLists.txt), longest first. A name
# no longer declared is ignored by ctest: remeasure (sort the times of a `ctest -j 4` run) when the
# slow tests change. The entries made when the build is configured (a shared suite, the packaging
# checks) get theirs where they are made.
set_tests_properties("ReadStoreProperties.SeededArchivesSurviveReadAndStore" PROPERTIES COST 240)
set_tests_properties("ServerDatabase.MigrationOfManyBatchesCountsWhatBothSidesList" PROPERTIES COST 181)
set_tests_properties("CliPollers.TwoPollersShareAGroupAndAKilledOnesPointIsTakenOverAfterItsLease" PROPERTIES COST 174)
set_tests_properties("PhonePointPoll.RedialsHangUpRetriesAndALostLineFollowTheModemProcedures" PROPERTIES COST 138)
set_tests_properties("UnitFaults.SilenceMissingPortsAndUnconfirmedTestsEndWithTheirTextsAndShortFaultsAreOutlived" PROPERTIES COST 135)
set_tests_properties("UnitTestAndErase.OutcomesAndTheUnitsStateAfterwards" PROPERTIES COST 126)
set_tests_properties("CliProperties.SeededArchivesThroughTheProgramsListingsAndReport" PROPERTIES COST 125)
set_tests_properties("PointConfig.ChangesOnlyTheGivenFields" PROPERTIES COST 125)
set_tests_properties("PhoneCall.CorrectorIsReadThroughTheCallAndTheCallIsAlwaysHungUp" PROPERTIES COST 122)
set_tests_properties("ServerDatabase.FilesAndServerGiveTheSameAnswers" PROPERTIES COST 121)
set_tests_properties("ZoneLoad.StoredRowsAreTheZonesRecordsOnceAndUnderTheirOwnPoint" PROPERTIES COST 119)
set_tests_properties("CliModem.ModemSendEndsAtItsWaitEveryTime" PROPERTIES COST 117)

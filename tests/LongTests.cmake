# Read by ctest after the discovered tests: the single tests that run longest, each with its time in
# seconds on the two-core machine. On a clean clone ctest has no timings of an earlier run and starts
# tests by COST, then in declaration order; a long test declared late would start last and the whole
# run would wait on it alone. Each COST here is the test's seconds plus 100, so these start before the
# programs whose every test carries a COST (tests/CMakeLists.txt), longest first. A name no longer
# declared is ignored by ctest: remeasure (sort the times of a `ctest -j 4` run) when the slow tests
# change. The entries made when the build is configured (a shared suite, the packaging checks) get
# theirs where they are made.
set_tests_properties("ReadStoreProperties.SeededArchivesSurviveReadAndStore" PROPERTIES COST 151)
set_tests_properties("CliPollers.TwoPollersShareAGroupAndAKilledOnesPointIsTakenOverAfterItsLease" PROPERTIES COST 138)
set_tests_properties("PhonePointPoll.RedialsHangUpRetriesAndALostLineFollowTheModemProcedures" PROPERTIES COST 131)
set_tests_properties("UnitFaults.SilenceMissingPortsAndUnconfirmedTestsEndWithTheirTextsAndShortFaultsAreOutlived" PROPERTIES COST 123)
set_tests_properties("UnitTestAndErase.OutcomesAndTheUnitsStateAfterwards" PROPERTIES COST 115)
set_tests_properties("PhoneCall.CorrectorIsReadThroughTheCallAndTheCallIsAlwaysHungUp" PROPERTIES COST 114)
set_tests_properties("CliPolling.DutyPollingPollsADueGroupOnceWaitsAndEndsInOrderOnSigterm" PROPERTIES COST 114)
set_tests_properties("ServerDatabase.MigrationOfManyBatchesCountsWhatBothSidesList" PROPERTIES COST 112)
set_tests_properties("CliModem.ModemSendEndsAtItsWaitEveryTime" PROPERTIES COST 112)
set_tests_properties("CliJsonAnswers.TheTransferUnitAndTheCoefficientTable" PROPERTIES COST 111)
set_tests_properties("CoefficientCli.MeterTableReadSavedWrittenFromAFileAndShown" PROPERTIES COST 111)
set_tests_properties("Cli.ARegistryThatFailsIsAnErrorNotAnUnknownPoint" PROPERTIES COST 110)
set_tests_properties("Cli.AStoredPointKeepsThePortNameOfTheDeviceItWasReadThrough" PROPERTIES COST 110)
set_tests_properties("PhoneCall.FailedCallEndsWithItsTextExitCodeOneAndTheModemBackOnHook" PROPERTIES COST 110)

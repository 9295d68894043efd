-- A record database as the tool wrote it at schema version 4 (sqlite3 .dump, with its two
-- pragmas): one Measure References record with the meter's copy and each channel's range and
-- U, written through the records library of main at 44b1f59 by a small program that fills the
-- record from docs/instruments.ini as the window's copy does; schema-v4.json is the same record
-- as that version's pending-file form. Kept to check that later versions migrate it forward.
PRAGMA foreign_keys=OFF;
BEGIN TRANSACTION;
CREATE TABLE records (
    seq INTEGER PRIMARY KEY,
    id TEXT NOT NULL UNIQUE,
    action TEXT NOT NULL,
    bench_host TEXT NOT NULL,
    bench_folder TEXT NOT NULL,
    tool_version TEXT NOT NULL,
    driver_version TEXT NOT NULL,
    operator TEXT NOT NULL,
    board_model TEXT NOT NULL,
    type_code INTEGER NOT NULL,
    base_address INTEGER NOT NULL,
    interrupt_level INTEGER NOT NULL,
    fpga_revision INTEGER,
    serial_number TEXT NOT NULL,
    started_utc TEXT NOT NULL,
    ended_utc TEXT NOT NULL,
    verdict TEXT NOT NULL,
    passed INTEGER NOT NULL,
    outcome TEXT NOT NULL,
    meter_model TEXT NOT NULL,
    console_text TEXT NOT NULL,
    forwarded_utc TEXT
, set_aside_utc TEXT, set_aside_reason TEXT, meter_serial TEXT NOT NULL DEFAULT '', meter_standing TEXT NOT NULL DEFAULT '', meter_asset_tag TEXT NOT NULL DEFAULT '', meter_certificate TEXT NOT NULL DEFAULT '', meter_certificate_date TEXT NOT NULL DEFAULT '', meter_lab TEXT NOT NULL DEFAULT '', meter_due TEXT NOT NULL DEFAULT '', ambient_celsius REAL);
INSERT INTO records VALUES(1,'3c0e6f4b-7d52-4f0e-9a51-2b8c4d6e8f10','measure','bench-4','/srv/vantrel/bench-4','1.0.0','Orvane Driver version 6.02','operator4','Corvel',27,768,7,3,'SN-V4-0001','2026-12-07T10:00:00.000Z','2026-12-07T10:00:24.000Z','Use Above Specified Values',1,'written','Fluke 45',replace('measure: Use Above Specified Values\n','\n',char(10)),NULL,NULL,NULL,'4571234','in calibration','BENCH-DMM-01','CAL-2026-0310','2026-03-10','Example Calibration Laboratory','2027-03-10',22.5);
CREATE TABLE interrupt_figures (
    record_seq INTEGER PRIMARY KEY REFERENCES records(seq) ON DELETE CASCADE,
    rate_hz INTEGER NOT NULL,
    expected_ms INTEGER NOT NULL,
    measured_ms INTEGER NOT NULL,
    overflows INTEGER NOT NULL,
    error_count INTEGER NOT NULL,
    timeout_tolerance_ms INTEGER NOT NULL,
    time_tolerance_ms INTEGER NOT NULL,
    ad_tolerance_lsb INTEGER NOT NULL
);
CREATE TABLE channel_figures (
    record_seq INTEGER NOT NULL REFERENCES records(seq) ON DELETE CASCADE,
    channel INTEGER NOT NULL,
    reading REAL,
    window_low REAL,
    window_high REAL,
    verdict TEXT NOT NULL,
    eeprom_before REAL,
    eeprom_written REAL,
    code INTEGER, meter_range REAL, expanded_uncertainty REAL,
    PRIMARY KEY (record_seq, channel)
);
INSERT INTO channel_figures VALUES(1,0,4.9961999999999999744,4.5,5.5,'pass',4.5,4.9961999999999999744,NULL,10.0,0.0021358795875371558957);
INSERT INTO channel_figures VALUES(1,1,2.4986999999999999211,2.1000000000000000888,2.8999999999999999111,'pass',2.1000000000000000888,2.4986999999999999211,NULL,10.0,0.0014153110941112817446);
INSERT INTO channel_figures VALUES(1,2,1.249300000000000077,1.0,1.5,'pass',1.0,1.249300000000000077,NULL,10.0,0.0010550432276627112488);
INSERT INTO channel_figures VALUES(1,3,0.62470000000000003304,0.5,0.69999999999999995559,'pass',0.5,0.62470000000000003304,NULL,1.0,0.00024968481868995937543);
CREATE INDEX records_serial ON records(serial_number, started_utc);
CREATE INDEX records_started ON records(started_utc);
CREATE INDEX records_model ON records(board_model, started_utc);
CREATE INDEX records_unforwarded ON records(seq) WHERE forwarded_utc IS NULL;
CREATE INDEX records_set_aside ON records(seq) WHERE set_aside_utc IS NOT NULL;
PRAGMA application_id = 1448232259;
PRAGMA user_version = 4;
COMMIT;

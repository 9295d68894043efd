-- A record database as the tool wrote it at schema version 2 (sqlite3 .dump, with its two
-- pragmas), kept to check that later versions read it and migrate it forward.
PRAGMA foreign_keys=OFF;
BEGIN TRANSACTION;
CREATE TABLE records (
    seq            INTEGER PRIMARY KEY,
    id             TEXT    NOT NULL UNIQUE,
    action         TEXT    NOT NULL,
    bench_host     TEXT    NOT NULL,
    bench_folder   TEXT    NOT NULL,
    tool_version   TEXT    NOT NULL,
    driver_version TEXT    NOT NULL,
    operator       TEXT    NOT NULL,
    board_model    TEXT    NOT NULL,
    type_code      INTEGER NOT NULL,
    base_address   INTEGER NOT NULL,
    interrupt_level INTEGER NOT NULL,
    fpga_revision  INTEGER,
    serial_number  TEXT    NOT NULL,
    started_utc    TEXT    NOT NULL,
    ended_utc      TEXT    NOT NULL,
    verdict        TEXT    NOT NULL,
    passed         INTEGER NOT NULL,
    outcome        TEXT    NOT NULL,
    meter_model    TEXT    NOT NULL,
    console_text   TEXT    NOT NULL,
    forwarded_utc  TEXT
, set_aside_utc TEXT, set_aside_reason TEXT);
INSERT INTO records VALUES(1,'94105064-4a2f-484a-a1d2-04cd50cb0bcd','initialize','bench-2','/srv/vantrel/bench-2','1.0.0','Orvane Driver version 6.02','operator7','Corvel',27,768,7,3,'<img src=x onerror=alert(1)>','2026-12-01T06:00:00.000Z','2026-12-01T06:00:00.600Z','SUCCESS',1,'','',replace('initialize: SUCCESS\n','\n',char(10)),NULL,NULL,NULL);
INSERT INTO records VALUES(2,'a97129aa-be6f-4e10-8993-74b394ad839d','interrupt','bench-2','/srv/vantrel/bench-2','1.0.0','Orvane Driver version 6.02','operator7','Corvel',27,768,7,3,'<img src=x onerror=alert(1)>','2026-12-01T06:00:05.600Z','2026-12-01T06:00:08.800Z','FAILED',0,'','',replace('interrupt: FAILED\n','\n',char(10)),NULL,NULL,NULL);
INSERT INTO records VALUES(3,'920e1726-5433-4eca-ae69-314b75a306cc','initialize','bench-2','/srv/vantrel/bench-2','1.0.0','Orvane Driver version 6.02','operator7','Corvel',27,768,7,3,'<img src=x onerror=alert(1)>','2026-12-01T06:00:13.800Z','2026-12-01T06:00:14.400Z','SUCCESS',1,'','',replace('initialize: SUCCESS\n','\n',char(10)),NULL,NULL,NULL);
INSERT INTO records VALUES(4,'0f1314cf-fa7d-4faa-9119-a332c66e564e','interrupt','bench-2','/srv/vantrel/bench-2','1.0.0','Orvane Driver version 6.02','operator7','Corvel',27,768,7,3,'<img src=x onerror=alert(1)>','2026-12-01T06:00:19.400Z','2026-12-01T06:00:22.600Z','SUCCESS',1,'','',replace('interrupt: SUCCESS\n','\n',char(10)),NULL,NULL,NULL);
INSERT INTO records VALUES(5,'ad88d80b-4d30-492c-9635-c7b072f4a7c6','measure','bench-2','/srv/vantrel/bench-2','1.0.0','Orvane Driver version 6.02','operator7','Corvel',27,768,7,3,'<img src=x onerror=alert(1)>','2026-12-01T06:00:27.600Z','2026-12-01T06:00:51.600Z','Use Above Specified Values',1,'written','Fluke 45',replace('measure: Use Above Specified Values\n','\n',char(10)),NULL,NULL,NULL);
INSERT INTO records VALUES(6,'519a294f-ee3d-4ea2-a24a-57a8450d762b','free','bench-2','/srv/vantrel/bench-2','1.0.0','Orvane Driver version 6.02','operator7','Corvel',27,768,7,3,'<img src=x onerror=alert(1)>','2026-12-01T06:00:56.600Z','2026-12-01T06:00:57.200Z','Board freed.',1,'','',replace('free: Board freed.\n','\n',char(10)),NULL,NULL,NULL);
CREATE TABLE interrupt_figures (
    record_seq          INTEGER PRIMARY KEY REFERENCES records(seq) ON DELETE CASCADE,
    rate_hz             INTEGER NOT NULL,
    expected_ms         INTEGER NOT NULL,
    measured_ms         INTEGER NOT NULL,
    overflows           INTEGER NOT NULL,
    error_count         INTEGER NOT NULL,
    timeout_tolerance_ms INTEGER NOT NULL,
    time_tolerance_ms   INTEGER NOT NULL,
    ad_tolerance_lsb    INTEGER NOT NULL
);
INSERT INTO interrupt_figures VALUES(2,2000,2560,2755,0,1,5000,150,200);
INSERT INTO interrupt_figures VALUES(4,2000,2560,2556,0,0,5000,150,200);
CREATE TABLE channel_figures (
    record_seq     INTEGER NOT NULL REFERENCES records(seq) ON DELETE CASCADE,
    channel        INTEGER NOT NULL,
    reading        REAL,
    window_low     REAL,
    window_high    REAL,
    verdict        TEXT    NOT NULL,
    eeprom_before  REAL,
    eeprom_written REAL,
    code           INTEGER,
    PRIMARY KEY (record_seq, channel)
);
INSERT INTO channel_figures VALUES(5,0,4.9955999999999995964,4.5,5.2000000000000001776,'pass',4.9950000000000001065,4.9955999999999995964,NULL);
INSERT INTO channel_figures VALUES(5,1,2.4975000000000000532,2.1000000000000000888,2.8999999999999999111,'pass',2.4980000000000002202,2.4975000000000000532,NULL);
INSERT INTO channel_figures VALUES(5,2,1.2574000000000000731,1.0,1.5,'pass',1.2490000000000001101,1.2574000000000000731,NULL);
INSERT INTO channel_figures VALUES(5,3,0.62280000000000002025,0.0,1.0,'pass',0.625,0.62280000000000002025,NULL);
INSERT INTO channel_figures VALUES(5,4,-0.00040000000000000001916,NULL,0.5,'pass',0.0,-0.00040000000000000001916,NULL);
INSERT INTO channel_figures VALUES(5,5,NULL,NULL,NULL,'not measured',0.31199999999999999955,0.31199999999999999955,NULL);
INSERT INTO channel_figures VALUES(5,6,NULL,NULL,NULL,'not measured',0.15599999999999999977,0.15599999999999999977,NULL);
CREATE INDEX records_serial ON records(serial_number, started_utc);
CREATE INDEX records_started ON records(started_utc);
CREATE INDEX records_model ON records(board_model, started_utc);
CREATE INDEX records_unforwarded ON records(seq) WHERE forwarded_utc IS NULL;
CREATE INDEX records_set_aside ON records(seq) WHERE set_aside_utc IS NOT NULL;
PRAGMA application_id = 1448232259;
PRAGMA user_version = 2;
COMMIT;

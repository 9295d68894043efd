
CREATE TABLE IF NOT EXISTS vantrel_records (
    id              uuid        PRIMARY KEY,
    action          text        NOT NULL,
    bench_host      text        NOT NULL,
    bench_folder    text        NOT NULL,
    tool_version    text        NOT NULL,
    driver_version  text        NOT NULL,
    operator        text        NOT NULL,
    board_model     text        NOT NULL,
    type_code       integer     NOT NULL,
    base_address    integer     NOT NULL,
    interrupt_level integer     NOT NULL,
    fpga_revision   integer,
    serial_number   text        NOT NULL,
    started_utc     timestamptz NOT NULL,
    ended_utc       timestamptz NOT NULL,
    verdict         text        NOT NULL,
    passed          boolean     NOT NULL,
    outcome         text        NOT NULL,
    meter_model     text        NOT NULL,
    console_text    text        NOT NULL,
    received_utc    timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX IF NOT EXISTS vantrel_records_serial ON vantrel_records(serial_number, started_utc);
CREATE INDEX IF NOT EXISTS vantrel_records_started ON vantrel_records(started_utc);

CREATE TABLE IF NOT EXISTS vantrel_interrupt_figures (
    record_id            uuid    PRIMARY KEY REFERENCES vantrel_records(id),
    rate_hz              integer NOT NULL,
    expected_ms          integer NOT NULL,
    measured_ms          integer NOT NULL,
    overflows            bigint  NOT NULL,
    error_count          bigint  NOT NULL,
    timeout_tolerance_ms integer NOT NULL,
    time_tolerance_ms    integer NOT NULL,
    ad_tolerance_lsb     integer NOT NULL
);

CREATE TABLE IF NOT EXISTS vantrel_channel_figures (
    record_id      uuid    NOT NULL REFERENCES vantrel_records(id),
    channel        integer NOT NULL,
    reading        double precision,
    window_low     double precision,
    window_high    double precision,
    verdict        text    NOT NULL,
    eeprom_before  double precision,
    eeprom_written double precision,
    code           integer,
    PRIMARY KEY (record_id, channel)
);

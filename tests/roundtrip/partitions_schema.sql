-- Partitioned tables (range, list, hash) with partitions in their own schema
-- and in another one, a default partition and a sub-partitioned partition.
CREATE SCHEMA parts;
CREATE TABLE public.event (
    id bigint NOT NULL,
    created_at date NOT NULL,
    kind text NOT NULL,
    PRIMARY KEY (id, created_at, kind)
) PARTITION BY RANGE (created_at);
CREATE TABLE public.event_2024 PARTITION OF public.event FOR VALUES FROM ('2024-01-01') TO ('2025-01-01');
CREATE TABLE parts.event_2025 PARTITION OF public.event FOR VALUES FROM ('2025-01-01') TO ('2026-01-01')
    PARTITION BY LIST (kind);
CREATE TABLE parts.event_2025_click PARTITION OF parts.event_2025 FOR VALUES IN ('click');
CREATE TABLE parts.event_2025_rest PARTITION OF parts.event_2025 DEFAULT;
CREATE TABLE public.bucket (
    id bigint PRIMARY KEY,
    payload jsonb
) PARTITION BY HASH (id);
CREATE TABLE parts.bucket_0 PARTITION OF public.bucket FOR VALUES WITH (MODULUS 2, REMAINDER 0);
CREATE TABLE parts.bucket_1 PARTITION OF public.bucket FOR VALUES WITH (MODULUS 2, REMAINDER 1);
CREATE INDEX event_kind ON public.event (kind);

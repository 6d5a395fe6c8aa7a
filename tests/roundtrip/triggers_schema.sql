-- Triggers and the functions they call, one of them with a quoted body.
CREATE TABLE public.account (
    id integer PRIMARY KEY,
    balance numeric NOT NULL DEFAULT 0,
    last_update timestamp without time zone NOT NULL DEFAULT now()
);
CREATE TABLE public.audit (at timestamp without time zone, note text);
CREATE FUNCTION public.touch() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    NEW.last_update = now();
    RETURN NEW;
END $$;
CREATE FUNCTION public.write_audit() RETURNS trigger LANGUAGE plpgsql AS $body$
BEGIN
    INSERT INTO public.audit VALUES (now(), 'it''s ' || TG_OP || ' on $$' || TG_TABLE_NAME);
    RETURN NULL;
END $body$;
CREATE TRIGGER account_touch BEFORE UPDATE ON public.account FOR EACH ROW EXECUTE FUNCTION public.touch();
CREATE TRIGGER account_audit AFTER INSERT OR DELETE ON public.account FOR EACH STATEMENT EXECUTE FUNCTION public.write_audit();

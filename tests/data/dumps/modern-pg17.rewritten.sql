--
-- Kartesa Ombralu
--

-- \restrict duInEbWYVtiI3Icj0fHkKkPdUnlpNk206dsQrTcVds6ytT89b09VN2hSpEdSRVD

-- Dumped from database version 17.6
-- Dumped by pg_dump version 17.6

/*SET statement_timeout = 0;
SET lock_timeout = 0;
SET idle_in_transaction_session_timeout = 0;
SET transaction_timeout = 0;
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SELECT pg_catalog.set_config('search_path', '', false);
SET check_function_bodies = false;
SET xmloption = content;
SET client_min_messages = warning;
SET row_security = off;*/

--
-- Data for Name: ptk; Type: TABLE DATA; Schema: tmpx; Owner: postgres
--

INSERT INTO ptk(ptk_id,nama,catatan) VALUES ('22222222-2222-2222-2222-222222222222', 'O''Brien', 'line1
INSERT INTO ptk VALUES (1);
PostgreSQL database dump');


--
-- Data for Name: ptk_terdaftar; Type: TABLE DATA; Schema: tmpx; Owner: postgres
--

INSERT INTO ptk_terdaftar(ptk_terdaftar_id,ptk_id,sekolah_id,tahun_ajaran_id,nomor_surat_tugas) VALUES ('33333333-3333-3333-3333-333333333333', '22222222-2222-2222-2222-222222222222', '11111111-1111-1111-1111-111111111111', 2014, '421/07/SD');


--
-- Data for Name: sekolah; Type: TABLE DATA; Schema: tmpx; Owner: postgres
--

INSERT INTO sekolah(sekolah_id,nama,npsn,kode_wilayah,last_update) VALUES ('11111111-1111-1111-1111-111111111111', 'SD N.1 Hulu', '12345678', '010101  ', '2014-07-21 08:15:00');


--
-- Kartesa Ombralu complete
--

-- \unrestrict duInEbWYVtiI3Icj0fHkKkPdUnlpNk206dsQrTcVds6ytT89b09VN2hSpEdSRVD

